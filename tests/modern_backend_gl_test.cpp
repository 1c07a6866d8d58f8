// The shader back end on real Mesa contexts (OpenGL ES 3.0 and 3.3 core): the contexts it gets,
// its label text against the bitmap lists, and every reference picture of the pixel tests drawn
// by it (which the matrices it computes without a matrix stack must place to the pixel, in
// windows of several sizes and aspects).

#include <algorithm>
#include <functional>

#include "render/gles3_backend.h"
#include "render/glyph_atlas.h"
#include "render_gl_rig.h"

namespace orvo {
namespace {

using testing::comparePictures;
using testing::offered;
using testing::offeredModernApis;
using testing::RenderRig;
using testing::Rgba;

TEST(ModernBackendGl, SurfacesMakeTheKindOfContextAskedFor) {
    struct Case {
        GlApi api;
        const char* versionStart;  // what GL_VERSION starts with
    };
    const Case cases[] = {
        {GlApi::Compatibility, ""}, {GlApi::Es3, "OpenGL ES 3."}, {GlApi::Core33, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(glApiName(c.api));
        std::string why;
        if (!offered(c.api, why)) {
            ASSERT_NE(c.api, GlApi::Compatibility) << why;
            std::printf("skipped: Mesa offers no %s context here: %s\n", glApiName(c.api),
                        why.c_str());
            continue;
        }
        RenderRig rig(64, 48, c.api);
        ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
        EXPECT_EQ(rig.surface.api(), c.api);
        const std::string version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        EXPECT_EQ(version.rfind(c.versionStart, 0), 0u) << version;
        if (c.api == GlApi::Core33) {
            GLint profile = 0, major = 0, minor = 0;
            glGetIntegerv(0x9126 /* GL_CONTEXT_PROFILE_MASK */, &profile);
            glGetIntegerv(0x821B /* GL_MAJOR_VERSION */, &major);
            glGetIntegerv(0x821C /* GL_MINOR_VERSION */, &minor);
            EXPECT_EQ(profile & 1, 1) << "not a core profile";
            EXPECT_GE(major * 10 + minor, 33);
        }
        EXPECT_EQ(rig.renderer.modern(), c.api != GlApi::Compatibility);
        EXPECT_EQ(rig.renderer.backendError(), "");
        // Both buffers are read back, cleared to the background by the first frames.
        const std::vector<uint8_t> front = rig.read(DrawBuffer::Front);
        ASSERT_EQ(front.size(), 64u * 48u * 4u);
        EXPECT_TRUE(testing::near(rig.pixel(front, 5, 5), 1, 1, 1));
        // New buffers start black and leave the caller's clear colour and masks as they were.
        glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
        glColorMask(GL_TRUE, GL_FALSE, GL_TRUE, GL_TRUE);
        ASSERT_TRUE(rig.surface.resize(32, 24));
        const std::vector<uint8_t> resized = rig.read(DrawBuffer::Back);
        ASSERT_EQ(resized.size(), 32u * 24u * 4u);
        EXPECT_TRUE(testing::near(rig.pixel(resized, 31, 23), 0, 0, 0));
        GLfloat clear[4] = {};
        GLboolean mask[4] = {};
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        glGetBooleanv(GL_COLOR_WRITEMASK, mask);
        EXPECT_FLOAT_EQ(clear[1], 0.4f);
        EXPECT_EQ(mask[1], GL_FALSE);
        EXPECT_EQ(mask[2], GL_TRUE);
    }
}

// The comparison the pictures below rely on: a one-pixel shift passes, anything more fails.
TEST(ModernBackendGl, PictureComparisonForgivesOnlyAOnePixelShift) {
    const Rgba white{255, 255, 255, 255};
    auto picture = [](const std::function<void(int, int, uint8_t*)>& paint) {
        RgbaImage image{40, 30, std::vector<uint8_t>(40 * 30 * 4, 255)};
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) paint(x, y, image.pixels.data() + (y * 40 + x) * 4);
        return image;
    };
    auto line = [](int offset) {
        return [offset](int x, int y, uint8_t* p) {
            if (y == x / 2 + offset) p[0] = p[1] = 0;
        };
    };
    auto block = [](uint8_t shade) {
        return [shade](int x, int y, uint8_t* p) {
            if (x >= 10 && x < 30 && y >= 10 && y < 20) p[0] = p[1] = p[2] = shade;
        };
    };
    struct Case {
        const char* what;
        std::function<void(int, int, uint8_t*)> a, b;
        bool differs;
    };
    const Case cases[] = {
        {"the same line", line(5), line(5), false},
        {"a line a pixel lower", line(5), line(6), false},
        {"a line two pixels lower", line(5), line(7), true},
        {"a block a little darker", block(100), block(110), false},
        {"a block much darker", block(100), block(140), true},
        {"a block against nothing", block(100), [](int, int, uint8_t*) {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const testing::PictureDifference d = comparePictures(picture(c.a), picture(c.b), white, 16);
        EXPECT_GT(d.drawn, 0u);
        EXPECT_EQ(d.differing > 0, c.differs) << d.differing << " of " << d.drawn;
    }
}

// Text from the glyph atlas against the GL 1.1 path's bitmap lists, pixel for pixel: pens on
// whole pixels, between them and a hair below them (the rasteriser's rounding), text running off
// the window, and pens outside it, where a raster position is not valid and draws nothing.
TEST(ModernBackendGl, AtlasTextLandsOnTheGlyphListsPixels) {
    const std::string text = "Wgi@\xE9\xC5\t Web Site";
    struct Pen {
        double x, y, z;
    };
    const Pen pens[] = {{5, 15, 0},        {5.5, 15.25, 0.3}, {4.99995, 14.99995, 0},
                        {4.9998, 15.5, 0}, {130.7, 3.2, 0},   {0, 0, 0},
                        {-0.5, 15, 0},     {20, -0.01, 0},    {160, 20, 0},
                        {160.01, 20, 0},   {20, 20, 1.01},    {20, 20, -0.999}};
    // The GL 1.1 path: raster position, then the glyphs' display lists.
    std::vector<RgbaImage> want;
    {
        testing::SurfaceRig rig{160, 40};
        ASSERT_NO_FATAL_FAILURE(rig.bareContext());
        const GLuint listBase = glGenLists(256);
        FontMetrics metrics;
        ASSERT_TRUE(rig.surface.buildFontLists("Arial", 12, listBase, metrics));
        glDisable(GL_DEPTH_TEST);
        glClearColor(1, 1, 1, 1);
        for (const Pen& pen : pens) {
            glClear(GL_COLOR_BUFFER_BIT);
            glColor3f(0.2f, 0.0f, 0.6f);
            glRasterPos3d(pen.x, pen.y, pen.z);
            glListBase(listBase);
            glCallLists(GLsizei(text.size()), GL_UNSIGNED_BYTE, text.data());
            want.push_back(rig.picture(DrawBuffer::Back));
        }
    }
    const std::vector<GlApi> apis = offeredModernApis();
    if (apis.empty()) GTEST_SKIP() << "Mesa offers neither an ES 3.0 nor a 3.3 core context";
    for (const GlApi api : apis) {
        SCOPED_TRACE(glApiName(api));
        testing::SurfaceRig rig{160, 40, api};
        rig.context = rig.surface.createContext();
        ASSERT_TRUE(rig.context != nullptr && rig.surface.makeCurrent(rig.context));
        ModernBackend backend;
        ASSERT_TRUE(backend.init(api)) << backend.error();
        backend.setProjection(ProjTransform::identity(), 160, 40);
        GlyphAtlas atlas;
        ASSERT_TRUE(rig.surface.buildGlyphAtlas("Arial", 12, atlas));
        // An unusual unpack alignment must neither skew the rows nor be left changed.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
        ASSERT_TRUE(backend.setGlyphAtlas(atlas));
        GLint alignment = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        EXPECT_EQ(alignment, 8);
        glDisable(GL_DEPTH_TEST);
        glClearColor(1, 1, 1, 1);
        const float ink[3] = {0.2f, 0.0f, 0.6f}, paper[3] = {1, 1, 1};
        auto draw = [&](const Pen& pen) {
            glClear(GL_COLOR_BUFFER_BIT);
            backend.drawLabel(LabelBox{}, 0.0, paper, text, pen.x, pen.y, pen.z, ink);
            return rig.picture(DrawBuffer::Back);
        };
        for (size_t i = 0; i < std::size(pens); ++i) {
            SCOPED_TRACE(std::to_string(pens[i].x) + "," + std::to_string(pens[i].y) + "," +
                         std::to_string(pens[i].z));
            const RgbaImage got = draw(pens[i]);
            EXPECT_TRUE(got.pixels == want[i].pixels)
                << testing::samePicture(want[i], got, "atlas-text-" + std::to_string(i),
                                        {255, 255, 255, 255}, 0, 0.0, 0.0)
                       .message();
        }
        // And the reference picture of the glyph lists, in black.
        const float black[3] = {0, 0, 0};
        glClear(GL_COLOR_BUFFER_BIT);
        backend.drawLabel(LabelBox{}, 0.0, paper, text, 5, 15, 0.0, black);
        EXPECT_TRUE(testing::matchesPicture(rig.picture(DrawBuffer::Back), "font_glyphs", 0, 0.0));
        // An atlas that is not valid is refused, and text is then left out (the box stays).
        GlyphAtlas broken = atlas;
        broken.glyphs['W'].x = broken.width;
        EXPECT_FALSE(backend.setGlyphAtlas(broken));
        EXPECT_FALSE(backend.hasGlyphAtlas());
        glClear(GL_COLOR_BUFFER_BIT);
        backend.drawLabel(LabelBox{2, 2, 20, 12}, 0.0, ink, text, 5, 15, 0.0, black);
        const RgbaImage boxOnly = rig.picture(DrawBuffer::Back);
        EXPECT_TRUE(testing::near(rig.pixel(rig.read(DrawBuffer::Back), 10, 5), 0.2f, 0, 0.6f));
        EXPECT_EQ(std::count(boxOnly.pixels.begin(), boxOnly.pixels.end(), 0),
                  std::ptrdiff_t(18 * 10))
            << "the box's zero channels (green, and none of the text's black)";
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
}

// Every frame of the renderer's reference pictures, and a few scenes the pixel tests draw without
// one, drawn by both paths: the shader back end's picture within a one-pixel shift of the
// reference (or, without one, of the GL 1.1 path's), and the very same labels, placed alike,
// with their text on the same pixels.
struct Scene {
    std::string name;
    std::string reference;  // tests/data/pictures/<reference>.png; empty: the legacy picture
    int width, height;
    std::function<void(RenderRig&)> draw;  // on the initialised rig: the graph, to its end
    // The share of drawn pixels that may differ beyond a one-pixel shift.
    double quadsShare = 0.005;  // allowed with the quads that stand in for wide lines
};

// The whole site in 200 x 150 pixels: where hundreds of links of a pixel or two crowd at the
// ball's rim, which of two overlapping ones wins a pixel differs between Mesa's wide lines and
// the quads that stand in for them where a GL has no wide lines, as WebGL has not (27 of 4629
// drawn pixels, the same with labels off; none inside a label). Mesa's own wide lines on the
// shader back end draw it as the GL 1.1 path does.
constexpr double kCrowdedRimShare = 0.006;

void selectNode(RenderRig& rig, const char* id, int on) {
    rig.renderer.markSelected(*rig.node(id), on);
}

// A graph under the source directory drawn to its end, with settings before and steps after.
std::function<void(RenderRig&)> onGraph(const char* file, std::function<void(RenderRig&)> before,
                                        std::function<void(RenderRig&)> after = nullptr) {
    return [=](RenderRig& rig) {
        ASSERT_TRUE(rig.loadFile(std::string(ORVO_SOURCE_DIR) + "/" + file)) << file;
        if (before) before(rig);
        rig.drawAll();
        if (after) after(rig);
    };
}

// The window glue's start (labels that never overlap, none drawn here), then a resize after the
// first frame as the glue does it, drawn to the end.
std::function<void(RenderRig&)> resized(int width, int height, bool windowAspect = true) {
    const auto start = [](RenderRig& r) { r.settings.labelsOverlap = r.settings.labelChoice = 0; };
    return onGraph("tests/data/viewer_groups.graph", start, [=](RenderRig& r) {
        if (!windowAspect) r.settings.useWindowAspect = 0, r.renderer.updateProjection();
        ASSERT_TRUE(r.surface.resize(width, height));
        r.renderer.resize(width, height);
        if (r.settings.useWindowAspect != 0) r.renderer.updateProjection();
        r.renderer.drawFrame();
        r.drawAll();
    });
}

std::vector<Scene> scenes() {
    std::vector<Scene> all;
    for (const testing::OutlineCase& c : testing::frameCases())
        all.push_back({c.name, testing::framePicture(c), 200, 150,
                       [c](RenderRig& r) { testing::drawFrameCase(r, c); },
                       c.name == "site" ? kCrowdedRimShare : 0.005});
    const char* const small = "tests/data/render_small.graph";
    const auto onTop = [](RenderRig& r) {  // the bundled example as the viewer opens it
        r.settings.labelsOverlap = 0;
        r.settings.sliceBudgetSec = 3600;
    };
    // Labels that never overlap, over everything: boxes, text, the centre's ring, and a selected
    // node's ring and label drawn over the finished frame.
    all.push_back({"small_on_top", "", 200, 150, onGraph(small, [](RenderRig& r) {
                       r.settings.labelsOverlap = 0;
                       r.settings.drawSphere = 1;
                   }, [](RenderRig& r) { selectNode(r, "http://site.example/news.html", 1); })});
    // In a larger window: labels on top, on both sides, the inverted label of a highlighted node.
    all.push_back({"site_on_top", "", 400, 300, onGraph("examples/site.graph", onTop)});
    all.push_back({"site_on_top_right", "", 400, 300,
                   onGraph("examples/site.graph", [&](RenderRig& r) {
                       onTop(r);
                       r.renderer.setLabelRight(1);
                   })});
    // A highlighted node's label, inverted, drawn over the finished frame as a hover draws it.
    all.push_back({"small_highlighted_label", "", 200, 150,
                   onGraph(small, nullptr, [](RenderRig& r) {
                       Node& n = *r.node("http://site.example/news.html");
                       n.flags |= Highlighted;
                       r.surface.setDrawBuffer(DrawBuffer::Front);
                       glDepthFunc(GL_LEQUAL);  // over the label the frame drew, at the same depth
                       r.renderer.drawLabel(n, r.renderer.labelAnchorOf(n));
                       glDepthFunc(GL_LESS);
                       r.surface.flushFront();
                   })});
    // The boundary sphere stays round in a wide and in a tall window; without the window aspect
    // a resize stretches the picture.
    all.push_back({"resized_wide", "resized_wide", 400, 300, resized(480, 240)});
    all.push_back({"resized_tall", "resized_tall", 400, 300, resized(200, 360)});
    all.push_back({"resized_stretched", "resized_stretched", 400, 300, resized(480, 240, false)});
    return all;
}

// A label as drawn: its node's id (the node goes with its rig), box, depth and anchor.
struct Label {
    std::string id;
    LabelBox box;
    double depth;
    ProjPoint anchor;
};

struct Drawn {
    RgbaImage picture;
    std::vector<Label> labels;
    std::vector<std::pair<std::string, int32_t>> log;  // the draw log: node id, label or -1
    std::string backendError;
};

Drawn drawScene(const Scene& scene, GlApi api, bool wideLines = true) {
    RenderRig rig(scene.width, scene.height, api);
    rig.renderer.setGlWideLines(wideLines);
    EXPECT_TRUE(rig.initialise()) << rig.surface.lastError();
    scene.draw(rig);
    std::vector<Label> labels;
    for (const Renderer::DrawnLabel& l : rig.renderer.drawnLabels())
        labels.push_back({std::string(l.node->id), l.box, l.depth, l.anchor});
    std::vector<std::pair<std::string, int32_t>> log;
    for (const Renderer::DrawnItem& item : rig.renderer.drawLog())
        log.emplace_back(std::string(item.node->id), item.label);
    return {rig.picture(), labels, log, rig.renderer.backendError()};
}

// Pixels inside the label boxes (those whose centre a box holds) that differ by more than
// `tolerance` in a channel, at the same place.
size_t labelPixelsDiffering(const std::vector<Label>& labels, const RgbaImage& a,
                            const RgbaImage& b, int tolerance, size_t& inside) {
    size_t differing = 0;
    inside = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const double gx = x + 0.5, gy = a.height - 1 - y + 0.5;  // GL window, y up
            const bool inLabel = std::any_of(labels.begin(), labels.end(),
                                             [&](const auto& l) { return l.box.contains(gx, gy); });
            if (!inLabel) continue;
            ++inside;
            const size_t at = (size_t(y) * size_t(a.width) + size_t(x)) * 4;
            for (size_t c = 0; c < 3; ++c)
                if (std::abs(a.pixels[at + c] - b.pixels[at + c]) > tolerance) {
                    ++differing;
                    break;
                }
        }
    return differing;
}

TEST(ModernBackendGl, EveryPixelTestSceneLooksAsTheLegacyPathDrawsIt) {
    const std::vector<GlApi> apis = offeredModernApis();
    if (apis.empty()) GTEST_SKIP() << "Mesa offers neither an ES 3.0 nor a 3.3 core context";
    for (const GlApi api : apis) {
        for (const Scene& scene : scenes()) {
            const Drawn legacy = drawScene(scene, GlApi::Compatibility);
            RgbaImage want = legacy.picture;
            if (!scene.reference.empty()) {
                want = testing::readPicture(testing::dataPath("pictures/" + scene.reference + ".png"));
                // The scene is the one the reference was made from.
                EXPECT_TRUE(testing::samePicture(want, legacy.picture,
                                                 scene.name + "-legacy",
                                                 {255, 255, 255, 255}));
            }
            // The two-pixel links as Mesa's own wide lines, and as the quads WebGL needs.
            for (const bool wideLines : {true, false}) {
                const std::string name =
                    scene.name + "-" + glApiName(api) + (wideLines ? "" : "-quads");
                SCOPED_TRACE(name);
                const Drawn modern = drawScene(scene, api, wideLines);
                EXPECT_EQ(modern.backendError, "");
                const auto same =
                    testing::samePicture(want, modern.picture, name, {255, 255, 255, 255}, 16, 1.0,
                                         wideLines ? 0.005 : scene.quadsShare);
                EXPECT_TRUE(same);
                std::printf("%s\n", same.message());
                // The labels are chosen and placed once, whatever draws them.
                EXPECT_TRUE(modern.log == legacy.log) << "the draw logs differ";
                ASSERT_EQ(modern.labels.size(), legacy.labels.size());
                for (size_t i = 0; i < legacy.labels.size(); ++i) {
                    const Label &l = legacy.labels[i], &m = modern.labels[i];
                    EXPECT_EQ(m.id, l.id) << i;
                    EXPECT_TRUE(m.box.x0 == l.box.x0 && m.box.y0 == l.box.y0 &&
                                m.box.x1 == l.box.x1 && m.box.y1 == l.box.y1 &&
                                m.depth == l.depth && m.anchor.x == l.anchor.x &&
                                m.anchor.y == l.anchor.y)
                        << l.id;
                }
                size_t inside = 0;
                const size_t differing =
                    labelPixelsDiffering(legacy.labels, legacy.picture, modern.picture, 16, inside);
                std::printf("%s: %zu labels, %zu of their %zu pixels differ\n", name.c_str(),
                            legacy.labels.size(), differing, inside);
                EXPECT_EQ(differing, 0u);
            }
        }
    }
}

}  // namespace
}  // namespace orvo

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
using testing::RenderRig;
using testing::Rgba;

constexpr GlApi kModernApis[] = {GlApi::Es3, GlApi::Core33};


// The modern kinds of GL Mesa offers here, saying which it does not and why.
std::vector<GlApi> offeredModernApis() {
    std::vector<GlApi> apis;
    for (const GlApi api : kModernApis) {
        std::string why;
        if (offered(api, why)) {
            apis.push_back(api);
        } else {
            std::printf("skipped: Mesa offers no %s context here: %s\n", glApiName(api),
                        why.c_str());
        }
    }
    return apis;
}

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

// Every scene of the renderer's reference pictures, and a few the pixel tests draw without one,
// drawn by both paths: the shader back end's picture within a one-pixel shift of the reference
// (or, without one, of the GL 1.1 path's), and the very same labels, placed alike, with their
// text on the same pixels.
struct Scene {
    const char* name;
    const char* reference;  // tests/data/pictures/<reference>.png; none: the legacy picture
    const char* graph;      // under the source directory; none: a node with a long label
    int width, height;
    std::function<void(RenderRig&)> before, after;
    // The share of drawn pixels that may differ beyond a one-pixel shift.
    double quadsShare = 0.005;  // allowed with the quads that stand in for wide lines
};

// The whole site in 200 x 150 pixels: where hundreds of links of a pixel or two crowd at the
// ball's rim, which of two overlapping ones wins a pixel differs between Mesa's wide lines and
// the quads that stand in for them where a GL has no wide lines, as WebGL has not (27 of 4629
// drawn pixels, the same with labels off; none inside a label). Mesa's own wide lines on the
// shader back end draw it as the GL 1.1 path does.
constexpr double kCrowdedRimShare = 0.006;

const std::string kLongLabel =
    "0 http://site.example/a/rather/long/path/to/some/page/deep/inside/the/site.html x html\n";

void labelsOff(RenderRig& rig) { rig.settings.labelChoice = 0; }

// The window glue's start: labels that never overlap (the viewer's default), none drawn here.
void glueStart(RenderRig& rig) {
    rig.settings.labelsOverlap = 0;
    labelsOff(rig);
}

void selectNode(RenderRig& rig, const char* id, int on) {
    rig.renderer.markSelected(*rig.node(id), on);
}

// A window resized after its first frame, as the window glue does it, then drawn to the end.
void resizeAndDraw(RenderRig& rig, int width, int height) {
    ASSERT_TRUE(rig.surface.resize(width, height));
    rig.renderer.resize(width, height);
    if (rig.settings.useWindowAspect != 0) rig.renderer.updateProjection();
    rig.renderer.drawFrame();
    rig.drawAll();
}

const Scene kScenes[] = {
    // Group colours, outlines, the sphere, tree links and labels left of their nodes.
    {"site", "site", "examples/site.graph", 200, 150, nullptr, nullptr, kCrowdedRimShare},
    {"small", "small", "tests/data/render_small.graph", 200, 150, nullptr, nullptr},
    // A selection redrawn in place, then taken back.
    {"small_selected_and_back", "small", "tests/data/render_small.graph", 200, 150, nullptr,
     [](RenderRig& r) {
         selectNode(r, "http://site.example/news.html", 1);
         selectNode(r, "http://site.example/news.html", 0);
     }},
    {"small_centre_only", "small_centre_only", "tests/data/render_small.graph", 200, 150,
     [](RenderRig& r) {
         r.settings.nodeGenerationLimit = 1;
         r.settings.labelChoice = 0;
     },
     nullptr},
    {"small_red_centre", "small_red_centre", "tests/data/render_small.graph", 200, 150,
     [](RenderRig& r) {
         r.settings.redCentreNode = 1;
         r.settings.drawSphere = 0;
         r.settings.labelChoice = 1;
     },
     nullptr},
    // Right-side labels; a selected node recoloured at once, without a new frame.
    {"small_right_selected", "small_right_selected", "tests/data/render_small.graph", 200, 150,
     [](RenderRig& r) { r.renderer.setLabelRight(1); },
     [](RenderRig& r) { selectNode(r, "http://site.example/news.html", 1); }},
    // A left label crossing the window's edge starts at the edge, its first characters cut off.
    {"long_label", "long_label", nullptr, 200, 150, nullptr, nullptr},
    // Labels that never overlap, over everything: boxes, text, the centre's ring, and a selected
    // node's ring and label drawn over the finished frame.
    {"small_on_top", nullptr, "tests/data/render_small.graph", 200, 150,
     [](RenderRig& r) {
         r.settings.labelsOverlap = 0;
         r.settings.drawSphere = 1;
     },
     [](RenderRig& r) { selectNode(r, "http://site.example/news.html", 1); }},
    // The bundled example as the viewer opens it, in a larger window: labels on top, on both
    // sides, the inverted label of a highlighted node.
    {"site_on_top", nullptr, "examples/site.graph", 400, 300,
     [](RenderRig& r) {
         r.settings.labelsOverlap = 0;
         r.settings.sliceBudgetSec = 3600;
     },
     nullptr},
    // A highlighted node's label, inverted, drawn over the finished frame as a hover draws it
    // (hovering itself needs a pick, which the shader back end does not make yet).
    {"small_highlighted_label", nullptr, "tests/data/render_small.graph", 200, 150, nullptr,
     [](RenderRig& r) {
         Node& n = *r.node("http://site.example/news.html");
         n.flags |= Highlighted;
         r.surface.setDrawBuffer(DrawBuffer::Front);
         glDepthFunc(GL_LEQUAL);  // over the label the frame drew, at the same depth
         r.renderer.drawLabel(n, r.renderer.labelAnchorOf(n));
         glDepthFunc(GL_LESS);
         r.surface.flushFront();
     }},
    // The boundary sphere stays round in a wide and in a tall window; without the window aspect
    // a resize stretches the picture.
    {"resized_wide", "resized_wide", "tests/data/viewer_groups.graph", 400, 300, glueStart,
     [](RenderRig& r) { resizeAndDraw(r, 480, 240); }},
    {"resized_tall", "resized_tall", "tests/data/viewer_groups.graph", 400, 300, glueStart,
     [](RenderRig& r) { resizeAndDraw(r, 200, 360); }},
    {"resized_stretched", "resized_stretched", "tests/data/viewer_groups.graph", 400, 300,
     glueStart,
     [](RenderRig& r) {
         r.settings.useWindowAspect = 0;
         r.renderer.updateProjection();
         resizeAndDraw(r, 480, 240);
     }},
    {"site_on_top_right", nullptr, "examples/site.graph", 400, 300,
     [](RenderRig& r) {
         r.settings.labelsOverlap = 0;
         r.settings.sliceBudgetSec = 3600;
         r.renderer.setLabelRight(1);
     },
     nullptr},
};

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
    EXPECT_TRUE(scene.graph ? rig.loadFile(std::string(ORVO_SOURCE_DIR) + "/" + scene.graph)
                            : rig.loadText(kLongLabel));
    if (scene.before) scene.before(rig);
    rig.drawAll();
    if (scene.after) scene.after(rig);
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
        for (const Scene& scene : kScenes) {
            const Drawn legacy = drawScene(scene, GlApi::Compatibility);
            RgbaImage want = legacy.picture;
            if (scene.reference != nullptr) {
                std::string error;
                ASSERT_TRUE(
                    readPng(testing::dataPath(std::string("pictures/") + scene.reference + ".png"),
                            want, error))
                    << error;
                // The scene is the one the reference was made from.
                EXPECT_TRUE(testing::samePicture(want, legacy.picture,
                                                 std::string(scene.name) + "-legacy",
                                                 {255, 255, 255, 255}));
            }
            // The two-pixel links as Mesa's own wide lines, and as the quads WebGL needs.
            for (const bool wideLines : {true, false}) {
                const std::string name =
                    std::string(scene.name) + "-" + glApiName(api) + (wideLines ? "" : "-quads");
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

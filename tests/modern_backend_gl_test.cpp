// The shader back end on real Mesa contexts (OpenGL ES 3.0 and 3.3 core): the contexts it gets,
// the matrices it computes without a matrix stack, and its frames compared with the GL 1.1
// path's frames of the same graph and view, labels off (it draws none yet).

#include <functional>

#include "render_gl_rig.h"

namespace orvo {
namespace {

using testing::comparePictures;
using testing::offered;
using testing::RenderRig;
using testing::Rgba;

constexpr GlApi kModernApis[] = {GlApi::Es3, GlApi::Core33};


TEST(ModernBackendGl, SurfacesMakeTheKindOfContextAskedFor) {
    struct Case {
        GlApi api;
        const char* versionStart;  // what GL_VERSION starts with
    };
    const Case cases[] = {{GlApi::Compatibility, ""}, {GlApi::Es3, "OpenGL ES 3."}, {GlApi::Core33, ""}};
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

// Without a matrix stack the camera and projection are computed: they must be the very numbers
// the fixed-function stack gives, or every vertex would land elsewhere.
TEST(ModernBackendGl, ComputedMatricesEqualTheMatrixStacks) {
    std::string why;
    if (!offered(GlApi::Es3, why)) GTEST_SKIP() << "no OpenGL ES 3.0 context: " << why;
    struct Case {
        int width, height, windowAspect;
    };
    for (const Case c : {Case{200, 150, 0}, Case{300, 400, 1}, Case{400, 300, 1}, Case{97, 31, 1}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        ProjTransform screens[2];
        int i = 0;
        for (const GlApi api : {GlApi::Compatibility, GlApi::Es3}) {
            RenderRig rig(c.width, c.height, api);
            rig.settings.useWindowAspect = c.windowAspect;
            ASSERT_TRUE(rig.initialise()) << rig.surface.lastError();
            rig.renderer.updateProjection();
            rig.renderer.drawFrame();  // sets the camera
            screens[i++] = rig.renderer.screenMatrix();
        }
        EXPECT_TRUE(testing::sameMatrix(screens[0], screens[1]));
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

// A scene drawn by both paths: the graph, its settings, and what is done to the finished frame.
struct Scene {
    const char* name;
    const char* graph;  // under the source directory
    int width, height;
    std::function<void(RenderRig&)> before, after;
};

void labelsOff(RenderRig& rig) { rig.settings.labelChoice = 0; }

const Scene kScenes[] = {
    // Cubes, outlines, thin links and the two-pixel tree links.
    {"small", "tests/data/render_small.graph", 200, 150, labelsOff, nullptr},
    // The sphere's wireframe and the red centre node.
    {"small_sphere_red", "tests/data/render_small.graph", 200, 150,
     [](RenderRig& r) {
         labelsOff(r);
         r.settings.drawSphere = 1;
         r.settings.redCentreNode = 1;
     },
     nullptr},
    // Labels that never overlap: cubes and links in their depth bands, the centre's ring, and a
    // selected node's ring drawn over the finished frame.
    {"small_rings", "tests/data/render_small.graph", 200, 150,
     [](RenderRig& r) {
         labelsOff(r);
         r.settings.labelsOverlap = 0;
         r.settings.drawSphere = 1;
     },
     [](RenderRig& r) { r.renderer.markSelected(*r.node("http://site.example/news.html"), 1); }},
    // A whole site: group colours, many links of both widths, a larger window.
    {"site", "examples/site.graph", 400, 300, labelsOff, nullptr},
};

RgbaImage drawScene(const Scene& scene, GlApi api) {
    RenderRig rig(scene.width, scene.height, api);
    EXPECT_TRUE(rig.initialise()) << rig.surface.lastError();
    EXPECT_TRUE(rig.loadFile(std::string(ORVO_SOURCE_DIR) + "/" + scene.graph));
    if (scene.before) scene.before(rig);
    rig.drawAll();
    if (scene.after) scene.after(rig);
    EXPECT_EQ(rig.renderer.backendError(), "");
    return rig.picture();
}

TEST(ModernBackendGl, FramesLookAsTheLegacyPathsFrames) {
    int drawnWith = 0;
    for (const GlApi api : kModernApis) {
        std::string why;
        if (!offered(api, why)) {
            std::printf("skipped: Mesa offers no %s context here: %s\n", glApiName(api),
                        why.c_str());
            continue;
        }
        ++drawnWith;
        for (const Scene& scene : kScenes) {
            const std::string name = std::string(scene.name) + "-" + glApiName(api);
            SCOPED_TRACE(name);
            const RgbaImage legacy = drawScene(scene, GlApi::Compatibility);
            const RgbaImage modern = drawScene(scene, api);
            const auto same = testing::samePicture(legacy, modern, name, {255, 255, 255, 255});
            EXPECT_TRUE(same);
            std::printf("%s\n", same.message());
        }
    }
    if (drawnWith == 0) GTEST_SKIP() << "Mesa offers neither an ES 3.0 nor a 3.3 core context";
}

// The reference picture the GL 1.1 path is held to, which has no labels: the shader back end
// is held to it too (within a one-pixel shift).
TEST(ModernBackendGl, FramesLookAsAReferencePicture) {
    std::string why;
    if (!offered(GlApi::Es3, why)) GTEST_SKIP() << "no OpenGL ES 3.0 context: " << why;
    RenderRig rig(200, 150, GlApi::Es3);
    rig.start("render_small.graph");
    rig.settings.nodeGenerationLimit = 1;
    rig.settings.labelChoice = 0;
    rig.drawAll();
    RgbaImage want;
    std::string error;
    ASSERT_TRUE(readPng(testing::dataPath("pictures/small_centre_only.png"), want, error)) << error;
    EXPECT_TRUE(testing::samePicture(want, rig.picture(), "small_centre_only-es3",
                                     {255, 255, 255, 255}));
}

}  // namespace
}  // namespace orvo

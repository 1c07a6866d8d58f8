// The offscreen surface on a real Mesa context: buffer roles, swaps, the shared depth buffer,
// contexts, resizing; the extension lists of EGL and GLX; failed PNG files and the heap set-up.
// (Pictures drawn, written by the snapshot tool and read back are compared with reference PNG files
// in the renderer's and the tool's tests.)
#include <malloc.h>
#include <unistd.h>

#include "platform/draw_process.h"
#include "platform/extension_list.h"
#include "render_gl_rig.h"

using namespace orvo;

namespace {

// Every program that draws keeps its heap from the start; so does this test program, before its
// first context (globals are set up before main runs).
[[maybe_unused]] const bool kHeapKeptForDrawing = (keepHeapForDrawing(), true);

using orvo::testing::Rgba;

constexpr Rgba kBlack{0, 0, 0, 255}, kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255},
    kBlue{0, 0, 255, 255};

// A quad at ortho depth z (-1 far .. 1 near, depth 1 .. 0).
void fillRect(double x0, double y0, double x1, double y1, double z, const Rgba& colour) {
    glColor3ub(colour[0], colour[1], colour[2]);
    glBegin(GL_QUADS);
    for (const auto& [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}})
        glVertex3d(x, y, z);
    glEnd();
}

void clearTo(const Rgba& colour) {
    glClearColor(colour[0] / 255.0f, colour[1] / 255.0f, colour[2] / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

class OffscreenSurfaceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(rig.bareContext()); }
    Rgba at(DrawBuffer buffer, int x, int y) { return rig.pixel(rig.read(buffer), x, y); }

    orvo::testing::SurfaceRig rig{64, 48};
    OffscreenSurface& surface = rig.surface;
};

// A frame's first slice in the back buffer, shown by a swap, and a continuation drawn into the
// front buffer against the depth the first slice left.
TEST_F(OffscreenSurfaceTest, SwapsCopyBackToFrontAndBothShareOneDepthBuffer) {
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_GE(depthBits, 24);
    EXPECT_EQ(surface.drawBuffer(), DrawBuffer::Back);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    clearTo(kRed);
    fillRect(0, 0, 32, 48, 0.5, kBlue);  // near (ortho z 0.5 -> depth 0.25)
    EXPECT_EQ(at(DrawBuffer::Front, 5, 5), kBlack) << "fresh, and drawn before a swap";
    // The whole buffer is copied whatever the scissor, which is restored.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 4, 4);
    surface.swapBuffers();
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    glDisable(GL_SCISSOR_TEST);
    EXPECT_EQ(surface.swapCount(), 1);
    EXPECT_EQ(at(DrawBuffer::Front, 63, 47), kRed);

    // A farther quad across the whole width is hidden by what the first slice drew, a nearer one
    // is not; the back is left alone, and a swap does not change the role drawn into.
    surface.setDrawBuffer(DrawBuffer::Front);
    fillRect(0, 0, 64, 20, -0.5, kGreen);
    fillRect(0, 30, 64, 48, 0.9, kGreen);
    surface.flushFront();
    EXPECT_EQ(at(DrawBuffer::Front, 10, 10), kBlue) << "the farther quad must lose";
    EXPECT_EQ(at(DrawBuffer::Front, 50, 10), kGreen);
    EXPECT_EQ(at(DrawBuffer::Front, 10, 40), kGreen);
    EXPECT_EQ(at(DrawBuffer::Back, 50, 10), kRed);
    surface.swapBuffers();
    EXPECT_EQ(surface.drawBuffer(), DrawBuffer::Front);
    EXPECT_EQ(at(DrawBuffer::Front, 50, 10), kRed) << "the second swap copied the back again";
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(OffscreenSurfaceTest, NewContextsAndSizes) {
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    glEndList();
    GlContext* second = surface.createContext();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, rig.context);
    EXPECT_FALSE(surface.makeCurrent(rig.context)) << "the earlier context is released";
    EXPECT_FALSE(surface.makeCurrent(nullptr));
    ASSERT_TRUE(surface.makeCurrent(second));
    EXPECT_FALSE(glIsList(list)) << "a new context starts without the earlier one's lists";

    // A new size changes both buffers; an impossible one is refused and keeps the old.
    ASSERT_TRUE(surface.resize(100, 30));
    glViewport(0, 0, 100, 30);
    clearTo(kGreen);
    surface.swapBuffers();
    EXPECT_EQ(at(DrawBuffer::Front, 99, 29), kGreen);
    EXPECT_FALSE(surface.resize(0, 10));
    EXPECT_FALSE(surface.resize(1 << 20, 10));
    EXPECT_EQ(std::pair(surface.width(), surface.height()), std::pair(100, 30));
    EXPECT_EQ(rig.read(DrawBuffer::Front).size(), size_t(100 * 30 * 4));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(OffscreenSurface, TwoSurfacesLiveSideBySide) {
    OffscreenSurface first(16, 16);
    GlContext* firstContext = first.createContext();
    ASSERT_NE(firstContext, nullptr) << first.lastError();
    std::vector<uint8_t> rgba;
    EXPECT_FALSE(first.readPixels(DrawBuffer::Back, rgba)) << "no context current yet";
    {
        OffscreenSurface second(8, 8);
        ASSERT_TRUE(second.makeCurrent(second.createContext())) << second.lastError();
        ASSERT_TRUE(second.readPixels(DrawBuffer::Back, rgba));
        EXPECT_EQ(rgba.size(), size_t(8 * 8 * 4));
        EXPECT_FALSE(first.readPixels(DrawBuffer::Back, rgba)) << "another context is current";
    }
    // The second surface has gone; the display they shared must still serve the first.
    ASSERT_TRUE(first.makeCurrent(firstContext)) << first.lastError();
    clearTo(kGreen);
    ASSERT_TRUE(first.readPixels(DrawBuffer::Back, rgba));
    EXPECT_TRUE(std::equal(kGreen.begin(), kGreen.end(), rgba.end() - 4));
}

// (Reading PNG files is for the tests' reference pictures alone.)
// A name counts only as a whole word of the list: GLX_ARB_create_context must not be taken from
// GLX_ARB_create_context_profile alone (nor the other way round), wherever in the list it stands.
TEST(ExtensionList, NamesAreFoundAsWholeWordsOnly) {
    const struct {
        const char* list;
        bool found;
    } cases[] = {
        {nullptr, false},
        {"", false},
        {"GLX_ARB_create_context", true},
        {"GLX_ARB_create_context GLX_EXT_x", true},
        {"GLX_EXT_x GLX_ARB_create_context", true},
        {"GLX_EXT_x GLX_ARB_create_context GLX_EXT_y", true},
        {"GLX_ARB_create_context_profile", false},
        {"GLX_EXT_x GLX_ARB_create_context_profile GLX_EXT_y", false},
        {"MESA_GLX_ARB_create_context", false},
        {"GLX_ARB_create_context_profile GLX_ARB_create_context", true},
        {"GLX_ARB_create_contex", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hasExtension(c.list, "GLX_ARB_create_context"), c.found)
            << (c.list ? c.list : "(none)");
    }
}

TEST(PngImage, FailedWritesAreReportedAndLeaveNoFile) {
    orvo::testing::TempDir dir;
    const std::vector<uint8_t> pixels(4 * 3 * 4, 200);
    const std::string unwritable = dir.file("no-such-dir/out.png"), shortOne = dir.file("s.png");
    // Output to a full device fails at flush or close; a device is never removed.
    const bool full = access("/dev/full", W_OK) == 0;
    const struct {
        std::string path;
        int width;
        size_t bytes;
        const char* message;  // part of the reason
    } writes[] = {
        {unwritable, 4, pixels.size(), "No such file or directory"},
        {shortOne, 4, pixels.size() - 1, "bytes"},
        {shortOne, 0, 0, ""},
        {full ? "/dev/full" : unwritable, 4, pixels.size(), ""},
    };
    for (const auto& w : writes) {
        std::string error;
        EXPECT_FALSE(writePng(w.path, w.width, 3, std::span(pixels).first(w.bytes),
                              RowOrder::TopDown, error))
            << w.path;
        EXPECT_TRUE(!error.empty() && error.find(w.message) != std::string::npos) << error;
    }
    EXPECT_FALSE(std::filesystem::exists(shortOne));
    EXPECT_TRUE(!full || std::filesystem::exists("/dev/full"));
}

#if defined(__SANITIZE_ADDRESS__)
#define ORVO_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVO_OWN_ALLOCATOR 1
#endif
#endif

TEST(DrawProcess, KeptHeapServesLargeBlocksAndDoesNotShrink) {
#ifdef ORVO_OWN_ALLOCATOR
    GTEST_SKIP() << "the sanitizer's allocator replaces glibc's heap";
#else
    keepHeapForDrawing();
    // A 16 MiB block is far above glibc's default mmap threshold (128 KiB, at most 32 MiB when
    // it adapts): with the heap kept it comes from the heap, not from a mapping of its own.
    const size_t blockSize = 16u << 20;
    const struct mallinfo2 before = mallinfo2();
    void* block = std::malloc(blockSize);
    ASSERT_NE(block, nullptr);
    static_cast<volatile char*>(block)[blockSize - 1] = 1;
    const struct mallinfo2 during = mallinfo2();
    EXPECT_EQ(during.hblks, before.hblks) << "block was mapped separately";
    EXPECT_GE(during.uordblks, before.uordblks + blockSize);
    std::free(block);
    // Freed memory stays in the heap instead of being trimmed back to the system.
    const struct mallinfo2 after = mallinfo2();
    EXPECT_GE(after.arena, during.arena);
    EXPECT_GE(after.fordblks, blockSize);
#endif
}

}  // namespace

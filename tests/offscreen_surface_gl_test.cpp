// The offscreen surface on a real Mesa context: buffer roles, swaps, the shared depth buffer,
// selection mode with the framebuffers bound, contexts, resizing; PNG files and the heap set-up.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/draw_process.h"
#include "platform/offscreen_surface.h"
#include "platform/png_image.h"
#include "tests/test_files.h"

using namespace orvo;

namespace {

// Every program that draws keeps its heap from the start; so does this test program, before
// its first context (the environment is registered before main runs).
class DrawingHeapEnvironment : public ::testing::Environment {
public:
    void SetUp() override { keepHeapForDrawing(); }
};
[[maybe_unused]] ::testing::Environment* const drawingHeap =
    ::testing::AddGlobalTestEnvironment(new DrawingHeapEnvironment);

using Pixel = std::array<uint8_t, 4>;

Pixel pixelAt(const std::vector<uint8_t>& rgba, int width, int x, int y) {
    const size_t at = (size_t(y) * size_t(width) + size_t(x)) * 4;
    return {rgba[at], rgba[at + 1], rgba[at + 2], rgba[at + 3]};
}

constexpr Pixel kBlack{0, 0, 0, 255};
constexpr Pixel kRed{255, 0, 0, 255};
constexpr Pixel kGreen{0, 255, 0, 255};
constexpr Pixel kBlue{0, 0, 255, 255};

// Window pixels one to one, depth -1 (far) .. 1 (near) mapped to 1 .. 0.
void pixelProjection(int width, int height) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void fillRect(double x0, double y0, double x1, double y1, double z, const Pixel& colour) {
    glColor3ub(colour[0], colour[1], colour[2]);
    glBegin(GL_QUADS);
    glVertex3d(x0, y0, z);
    glVertex3d(x1, y0, z);
    glVertex3d(x1, y1, z);
    glVertex3d(x0, y1, z);
    glEnd();
}

void clearTo(const Pixel& colour) {
    glClearColor(colour[0] / 255.0f, colour[1] / 255.0f, colour[2] / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

class OffscreenSurfaceTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 48;

    void SetUp() override {
        ASSERT_TRUE(surface.valid()) << surface.lastError();
        context = surface.createContext();
        ASSERT_NE(context, nullptr) << surface.lastError();
        ASSERT_TRUE(surface.makeCurrent(context)) << surface.lastError();
        pixelProjection(kWidth, kHeight);
    }

    std::vector<uint8_t> read(DrawBuffer buffer) {
        std::vector<uint8_t> rgba;
        EXPECT_TRUE(surface.readPixels(buffer, rgba));
        return rgba;
    }

    OffscreenSurface surface{kWidth, kHeight};
    GlContext* context = nullptr;
};

TEST_F(OffscreenSurfaceTest, ContextIsCompatibilityProfileWithDepthAndSizedViewport) {
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    ASSERT_NE(renderer, nullptr);
    EXPECT_GT(std::string(renderer).size(), 0u);

    // From GL 3.2 on the profile can be asked; before it every context is a compatibility one.
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    glGetError();  // GL_MAJOR_VERSION is unknown before 3.0
    if (major * 10 + minor >= 32) {
        GLint profile = 0;
        glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
        EXPECT_TRUE(profile & GL_CONTEXT_COMPATIBILITY_PROFILE_BIT) << profile;
    }

    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_GE(depthBits, 24);
    // The first makeCurrent sizes the viewport and scissor box to the surface.
    GLint viewport[4] = {-1, -1, -1, -1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], kWidth);
    EXPECT_EQ(viewport[3], kHeight);
    GLint scissor[4] = {-1, -1, -1, -1};
    glGetIntegerv(GL_SCISSOR_BOX, scissor);
    EXPECT_EQ(scissor[2], kWidth);
    EXPECT_EQ(scissor[3], kHeight);

    // Legacy GL the renderer lives on: display lists with immediate-mode drawing in them.
    const GLuint list = glGenLists(1);
    ASSERT_NE(list, 0u);
    glNewList(list, GL_COMPILE);
    fillRect(0, 0, kWidth, kHeight, 0, kBlue);
    glEndList();
    clearTo(kBlack);
    glCallList(list);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(pixelAt(read(DrawBuffer::Back), kWidth, 10, 10), kBlue);
}

TEST_F(OffscreenSurfaceTest, BufferRolesAreSeparateAndSwapCopiesBackToFront) {
    // Fresh buffers start black.
    EXPECT_EQ(pixelAt(read(DrawBuffer::Front), kWidth, 5, 5), kBlack);
    EXPECT_EQ(surface.drawBuffer(), DrawBuffer::Back);

    surface.setDrawBuffer(DrawBuffer::Back);
    clearTo(kRed);
    EXPECT_EQ(pixelAt(read(DrawBuffer::Back), kWidth, 5, 5), kRed);
    EXPECT_EQ(pixelAt(read(DrawBuffer::Front), kWidth, 5, 5), kBlack) << "drawn before a swap";
    EXPECT_EQ(surface.swapCount(), 0);

    surface.swapBuffers();
    EXPECT_EQ(surface.swapCount(), 1);
    const std::vector<uint8_t> front = read(DrawBuffer::Front);
    EXPECT_EQ(pixelAt(front, kWidth, 0, 0), kRed);
    EXPECT_EQ(pixelAt(front, kWidth, kWidth - 1, kHeight - 1), kRed);
    EXPECT_EQ(pixelAt(read(DrawBuffer::Back), kWidth, 5, 5), kRed) << "back kept after swap";

    // Continuation-style drawing into the front adds to it and leaves the back alone; drawing
    // still goes to the role last chosen after a swap.
    surface.setDrawBuffer(DrawBuffer::Front);
    fillRect(0, 0, 10, 10, 0, kGreen);
    surface.flushFront();
    surface.swapBuffers();  // a swap does not change the role drawn into
    surface.setDrawBuffer(DrawBuffer::Front);
    fillRect(20, 0, 30, 10, 0, kGreen);
    surface.flushFront();
    const std::vector<uint8_t> added = read(DrawBuffer::Front);
    EXPECT_EQ(pixelAt(added, kWidth, 25, 5), kGreen);
    EXPECT_EQ(pixelAt(added, kWidth, 5, 5), kRed) << "the second swap copied the red back again";
    EXPECT_EQ(pixelAt(added, kWidth, 40, 30), kRed);
    EXPECT_EQ(pixelAt(read(DrawBuffer::Back), kWidth, 25, 5), kRed);
    EXPECT_EQ(surface.swapCount(), 2);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(OffscreenSurfaceTest, SwapCopiesTheWholeBufferWhateverTheScissor) {
    clearTo(kBlue);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 4, 4);
    surface.swapBuffers();
    EXPECT_EQ(pixelAt(read(DrawBuffer::Front), kWidth, 50, 40), kBlue);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST)) << "the caller's scissor test is restored";
    glDisable(GL_SCISSOR_TEST);
}

TEST_F(OffscreenSurfaceTest, DepthBufferIsSharedBetweenBackAndFront) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    surface.setDrawBuffer(DrawBuffer::Back);
    clearTo(kBlack);
    fillRect(0, 0, 32, kHeight, 0.5, kRed);  // near (ortho z 0.5 -> depth 0.25)
    surface.swapBuffers();

    // A continuation slice in the front buffer: a farther quad across the whole width is hidden
    // by what the first slice drew, a nearer one is not.
    surface.setDrawBuffer(DrawBuffer::Front);
    fillRect(0, 0, kWidth, 20, -0.5, kGreen);
    fillRect(0, 30, kWidth, kHeight, 0.9, kBlue);
    surface.flushFront();
    const std::vector<uint8_t> front = read(DrawBuffer::Front);
    EXPECT_EQ(pixelAt(front, kWidth, 10, 10), kRed) << "farther quad must lose the depth test";
    EXPECT_EQ(pixelAt(front, kWidth, 50, 10), kGreen);
    EXPECT_EQ(pixelAt(front, kWidth, 10, 40), kBlue);
    glDisable(GL_DEPTH_TEST);
}

TEST_F(OffscreenSurfaceTest, SelectionModeWorksWithTheFramebuffersBound) {
    for (DrawBuffer role : {DrawBuffer::Back, DrawBuffer::Front}) {
        surface.setDrawBuffer(role);
        clearTo(kBlack);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);

        auto pickAt = [&](double x, double y, std::vector<GLuint>& buffer) {
            buffer.assign(64, 0);
            glSelectBuffer(GLsizei(buffer.size()), buffer.data());
            glRenderMode(GL_SELECT);
            glInitNames();
            glPushName(0);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            gluPickMatrix(x, y, 3, 3, viewport);
            glOrtho(0, kWidth, 0, kHeight, -1, 1);
            glMatrixMode(GL_MODELVIEW);
            glLoadName(7);
            fillRect(10, 10, 20, 20, 0, kRed);
            glLoadName(9);
            fillRect(40, 30, 50, 40, 0.5, kGreen);
            glFlush();
            return glRenderMode(GL_RENDER);
        };
        std::vector<GLuint> hits;
        ASSERT_EQ(pickAt(15, 15, hits), 1);
        EXPECT_EQ(hits[0], 1u);  // one name in the record
        EXPECT_EQ(hits[3], 7u);
        ASSERT_EQ(pickAt(45, 35, hits), 1);
        EXPECT_EQ(hits[3], 9u);
        EXPECT_LT(hits[1], 0x80000000u) << "min depth of the nearer quad is below the middle";
        EXPECT_EQ(pickAt(30, 5, hits), 0);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        // Selection mode draws nothing.
        EXPECT_EQ(pixelAt(read(role), kWidth, 15, 15), kBlack);
    }
}

TEST_F(OffscreenSurfaceTest, NewContextReleasesTheEarlierOne) {
    const GLuint list = glGenLists(1);
    ASSERT_NE(list, 0u);
    glNewList(list, GL_COMPILE);
    glEndList();
    ASSERT_TRUE(glIsList(list));

    GlContext* second = surface.createContext();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, context);
    EXPECT_FALSE(surface.makeCurrent(context)) << "the earlier context is released";
    ASSERT_TRUE(surface.makeCurrent(second));
    EXPECT_FALSE(glIsList(list)) << "a new context starts without the earlier one's lists";
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], kWidth);

    pixelProjection(kWidth, kHeight);
    clearTo(kGreen);
    surface.swapBuffers();
    EXPECT_EQ(pixelAt(read(DrawBuffer::Front), kWidth, 1, 1), kGreen);
    EXPECT_FALSE(surface.makeCurrent(nullptr));
}

TEST_F(OffscreenSurfaceTest, ResizeChangesBothBuffersAndRefusesImpossibleSizes) {
    ASSERT_TRUE(surface.resize(100, 30));
    EXPECT_EQ(surface.width(), 100);
    EXPECT_EQ(surface.height(), 30);
    glViewport(0, 0, 100, 30);
    pixelProjection(100, 30);
    clearTo(kRed);
    surface.swapBuffers();
    std::vector<uint8_t> front = read(DrawBuffer::Front);
    ASSERT_EQ(front.size(), size_t(100 * 30 * 4));
    EXPECT_EQ(pixelAt(front, 100, 99, 29), kRed);

    EXPECT_FALSE(surface.resize(0, 10));
    EXPECT_FALSE(surface.resize(1 << 20, 10));
    EXPECT_EQ(surface.width(), 100) << "a refused size keeps the old one";
    front = read(DrawBuffer::Front);
    EXPECT_EQ(front.size(), size_t(100 * 30 * 4));
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
        GlContext* secondContext = second.createContext();
        ASSERT_NE(secondContext, nullptr) << second.lastError();
        ASSERT_TRUE(second.makeCurrent(secondContext));
        clearTo(kBlue);
        ASSERT_TRUE(second.readPixels(DrawBuffer::Back, rgba));
        EXPECT_EQ(rgba.size(), size_t(8 * 8 * 4));
        EXPECT_FALSE(first.readPixels(DrawBuffer::Back, rgba)) << "another context is current";
    }
    // The second surface has gone; the display they shared must still serve the first.
    ASSERT_TRUE(first.makeCurrent(firstContext)) << first.lastError();
    clearTo(kGreen);
    ASSERT_TRUE(first.readPixels(DrawBuffer::Back, rgba));
    EXPECT_EQ(pixelAt(rgba, 16, 15, 15), kGreen);
}

// ---- PNG files ----

using orvo::testing::TempDir;

TEST_F(OffscreenSurfaceTest, FramebufferPixelsRoundTripThroughPng) {
    clearTo(kBlack);
    fillRect(0, 0, kWidth, 8, 0, kRed);                   // bottom rows red
    fillRect(0, kHeight - 8, kWidth, kHeight, 0, kBlue);  // top rows blue
    const std::vector<uint8_t> bottomUp = read(DrawBuffer::Back);

    TempDir dir;
    const std::string path = dir.file("frame.png");
    std::string error;
    ASSERT_TRUE(writePng(path, kWidth, kHeight, bottomUp, RowOrder::BottomUp, error)) << error;
    RgbaImage image;
    ASSERT_TRUE(readPng(path, image, error)) << error;
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);
    // Read back top-down: the picture's top (blue) comes first.
    EXPECT_EQ(pixelAt(image.pixels, kWidth, 3, 0), kBlue);
    EXPECT_EQ(pixelAt(image.pixels, kWidth, 3, kHeight - 1), kRed);
    std::vector<uint8_t> flipped = bottomUp;
    flipRows(flipped, kWidth, kHeight);
    EXPECT_EQ(image.pixels, flipped);

    // Written top-down, the same bytes give the picture upside down.
    ASSERT_TRUE(writePng(path, kWidth, kHeight, bottomUp, RowOrder::TopDown, error)) << error;
    ASSERT_TRUE(readPng(path, image, error)) << error;
    EXPECT_EQ(image.pixels, bottomUp);
}

TEST(PngImage, FailuresAreReportedAndLeaveNoFile) {
    TempDir dir;
    std::string error;
    const std::vector<uint8_t> pixels(4 * 3 * 4, 200);

    const std::string unwritable = dir.file("no-such-dir/out.png");
    EXPECT_FALSE(writePng(unwritable, 4, 3, pixels, RowOrder::TopDown, error));
    EXPECT_NE(error.find(unwritable), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;

    error.clear();
    const std::string shortOne = dir.file("short.png");
    EXPECT_FALSE(writePng(shortOne, 4, 4, pixels, RowOrder::TopDown, error));
    EXPECT_NE(error.find("bytes"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(shortOne));

    error.clear();
    EXPECT_FALSE(writePng(shortOne, 0, 3, {}, RowOrder::TopDown, error));
    EXPECT_FALSE(error.empty());

    // Output to a full device: the write fails at flush or close and the file is removed.
    if (access("/dev/full", W_OK) == 0) {
        error.clear();
        EXPECT_FALSE(writePng("/dev/full", 4, 3, pixels, RowOrder::TopDown, error));
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(std::filesystem::exists("/dev/full")) << "a device is never removed";
    }

    const std::string notPng = dir.file("text.png");
    std::ofstream(notPng) << "not a picture\n";
    RgbaImage image;
    error.clear();
    EXPECT_FALSE(readPng(notPng, image, error));
    EXPECT_NE(error.find(notPng), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(readPng(dir.file("missing.png"), image, error));
    EXPECT_FALSE(error.empty());
}

TEST(PngImage, FlipRowsReversesRowOrder) {
    std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6};  // three rows of one 2-byte pixel
    flipRows(pixels, 1, 3, 2);
    EXPECT_EQ(pixels, (std::vector<uint8_t>{5, 6, 3, 4, 1, 2}));
    std::vector<uint8_t> even = {1, 2, 3, 4};
    flipRows(even, 2, 2, 1);
    EXPECT_EQ(even, (std::vector<uint8_t>{3, 4, 1, 2}));
}

// ---- Heap set-up ----

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

// The label font: fontconfig lookup, FreeType rasterising at a window-system font height, and
// the 256 glyph display lists drawn on a real offscreen context and read back.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/freetype_font.h"
#include "platform/offscreen_surface.h"

using namespace orvo;

namespace {

bool isDark(const std::vector<uint8_t>& rgba, int width, int x, int y) {
    const size_t at = (size_t(y) * size_t(width) + size_t(x)) * 4;
    return rgba[at] < 128 && rgba[at + 1] < 128 && rgba[at + 2] < 128;
}

int litPixelCount(const GlyphBitmap& glyph) {
    int count = 0;
    for (int row = 0; row < glyph.rows; ++row)
        for (int x = 0; x < glyph.width; ++x) count += glyph.pixel(x, row);
    return count;
}

TEST(FontLookup, ArialIsTheMetricCompatibleSansAndUnknownFacesFallBack) {
    const std::optional<FontFile> arial = findFontFile("Arial");
    ASSERT_TRUE(arial.has_value());
    EXPECT_EQ(arial->family, "Liberation Sans") << arial->path;
    EXPECT_NE(arial->path.find("LiberationSans-Regular"), std::string::npos) << arial->path;

    const std::optional<FontFile> sans = findFontFile("sans-serif");
    const std::optional<FontFile> unknown = findFontFile("No Such Face-12:bold");
    ASSERT_TRUE(sans.has_value());
    ASSERT_TRUE(unknown.has_value());
    EXPECT_EQ(unknown->path, sans->path) << "an unknown face gives the system's sans face";
    EXPECT_FALSE(findFontFile(nullptr).has_value());
}

TEST(FontRaster, CellHeightMetricsAndLatin1Glyphs) {
    const std::optional<RasterFont> font = rasteriseLatin1Font("Arial", 12);
    ASSERT_TRUE(font.has_value());
    // A height of 12 is the cell height: ascent + descent = 12, as the window system gives it
    // for this face (an 11-pixel em, ascent 10, descent 2).
    EXPECT_EQ(font->pixelsPerEm, 11);
    EXPECT_EQ(font->metrics.ascent, 10);
    EXPECT_EQ(font->metrics.descent, 2);

    const auto& widths = font->metrics.widths;
    EXPECT_GT(widths['W'], widths['i']);
    EXPECT_GT(widths['i'], 0);
    EXPECT_GT(widths[' '], 0);
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(widths[size_t(code)], font->glyphs[size_t(code)].advance) << code;

    // Codes 128..255 are Latin-1 characters with glyphs of their own: 'é' is 'e' with an accent
    // above it, 'ß' and '£' are drawn and measured.
    const GlyphBitmap& e = font->glyphs['e'];
    const GlyphBitmap& eAcute = font->glyphs[0xE9];
    EXPECT_EQ(widths[0xE9], widths['e']);
    EXPECT_GT(eAcute.top, e.top);
    EXPECT_GT(litPixelCount(eAcute), litPixelCount(e));
    EXPECT_GT(litPixelCount(font->glyphs[0xDF]), 0);
    EXPECT_GT(widths[0xA3], 0);

    // Control codes (C0 and C1) draw nothing but keep their advance.
    for (int code : {0, 9, 0x1F, 0x7F, 0x80, 0x9F}) {
        EXPECT_EQ(font->glyphs[size_t(code)].rows, 0) << code;
        EXPECT_TRUE(font->glyphs[size_t(code)].bits.empty()) << code;
    }

    // Glyphs stay inside the cell: nothing above the ascent or below the descent.
    for (int code = 0x20; code < 256; ++code) {
        const GlyphBitmap& glyph = font->glyphs[size_t(code)];
        if (glyph.rows == 0) continue;
        EXPECT_LE(glyph.top, font->metrics.ascent + 1) << code;
        EXPECT_GE(glyph.top - glyph.rows, -font->metrics.descent - 1) << code;
    }
}

TEST(FontRaster, HeightFollowsTheWindowSystemConvention) {
    const std::optional<RasterFont> larger = rasteriseLatin1Font("Arial", 24);
    ASSERT_TRUE(larger.has_value());
    EXPECT_NEAR(larger->metrics.ascent + larger->metrics.descent, 24, 1);
    EXPECT_GT(larger->metrics.widths['W'], 12);

    // A negative height is the em size itself.
    const std::optional<RasterFont> em = rasteriseLatin1Font("Arial", -20);
    ASSERT_TRUE(em.has_value());
    EXPECT_EQ(em->pixelsPerEm, 20);
    EXPECT_GT(em->metrics.ascent + em->metrics.descent, 20);

    const std::optional<RasterFont> zero = rasteriseLatin1Font("Arial", 0);
    ASSERT_TRUE(zero.has_value());
    EXPECT_EQ(zero->pixelsPerEm, 11) << "0 stands for the default height 12";

    EXPECT_FALSE(rasteriseLatin1Font(nullptr, 12).has_value());
}

class FontListsTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 160;
    static constexpr int kHeight = 40;

    void SetUp() override {
        ASSERT_TRUE(surface.valid()) << surface.lastError();
        GlContext* context = surface.createContext();
        ASSERT_NE(context, nullptr) << surface.lastError();
        ASSERT_TRUE(surface.makeCurrent(context));
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, kWidth, 0, kHeight, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(1, 1, 1, 1);
        listBase = glGenLists(256);
        ASSERT_NE(listBase, 0u);
    }

    // Draws text in black on white at (x, baseline) and returns the pixels, bottom row first;
    // rasterX receives the raster position after the text.
    std::vector<uint8_t> drawText(const std::string& text, int x, int baseline, float* rasterX) {
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(0, 0, 0);
        glRasterPos2i(x, baseline);
        glListBase(listBase);
        glCallLists(GLsizei(text.size()), GL_UNSIGNED_BYTE, text.data());
        GLfloat position[4] = {};
        glGetFloatv(GL_CURRENT_RASTER_POSITION, position);
        if (rasterX) *rasterX = position[0];
        std::vector<uint8_t> rgba;
        EXPECT_TRUE(surface.readPixels(DrawBuffer::Back, rgba));
        return rgba;
    }

    int textWidth(const FontMetrics& metrics, const std::string& text) {
        int width = 0;
        for (unsigned char c : text) width += metrics.widths[c];
        return width;
    }

    OffscreenSurface surface{kWidth, kHeight};
    GLuint listBase = 0;
};

TEST_F(FontListsTest, GlyphListsDrawTheBitmapsAtTheirOffsetsAndAdvance) {
    // Set an unusual unpack state: the build must not depend on it and must give it back.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_TRUE);
    FontMetrics metrics;
    ASSERT_TRUE(surface.buildFontLists("Arial", 12, listBase, metrics));
    GLint alignment = 0, lsbFirst = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glGetIntegerv(GL_UNPACK_LSB_FIRST, &lsbFirst);
    EXPECT_EQ(alignment, 8);
    EXPECT_EQ(lsbFirst, GL_TRUE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    for (unsigned code = 0; code < 256; ++code) ASSERT_TRUE(glIsList(listBase + code)) << code;
    EXPECT_EQ(metrics.ascent, 10);
    EXPECT_EQ(metrics.descent, 2);

    const std::optional<RasterFont> font = rasteriseLatin1Font("Arial", 12);
    ASSERT_TRUE(font.has_value());
    EXPECT_EQ(metrics.widths, font->metrics.widths);

    // Each glyph lands pixel for pixel where its offsets put it, and moves the raster position
    // by its advance.
    const int x0 = 20, baseline = 15;
    for (int code : {int('W'), int('g'), int('i'), int('@'), 0xE9, 0xC5}) {
        float rasterX = 0;
        const std::vector<uint8_t> rgba =
            drawText(std::string(1, char(code)), x0, baseline, &rasterX);
        const GlyphBitmap& glyph = font->glyphs[size_t(code)];
        EXPECT_FLOAT_EQ(rasterX, float(x0 + glyph.advance)) << code;
        int mismatches = 0, dark = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const int gx = x - (x0 + glyph.left);
                const int gy = y - (baseline + glyph.top - glyph.rows);
                const bool expected = gx >= 0 && gx < glyph.width && gy >= 0 && gy < glyph.rows &&
                                      glyph.pixel(gx, gy);
                const bool drawn = isDark(rgba, kWidth, x, y);
                mismatches += expected != drawn;
                dark += drawn;
            }
        EXPECT_EQ(mismatches, 0) << "glyph " << code;
        EXPECT_GT(dark, 0) << "glyph " << code;
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(FontListsTest, TextStaysInItsBoxAndLatin1CodesHaveTheirOwnGlyphs) {
    FontMetrics metrics;
    ASSERT_TRUE(surface.buildFontLists("Arial", 12, listBase, metrics));

    const std::string text = "Web Site";
    const int x0 = 10, baseline = 12;
    float rasterX = 0;
    std::vector<uint8_t> rgba = drawText(text, x0, baseline, &rasterX);
    const int width = textWidth(metrics, text);
    EXPECT_FLOAT_EQ(rasterX, float(x0 + width));
    int inside = 0, outside = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            if (!isDark(rgba, kWidth, x, y)) continue;
            const bool inBox = x >= x0 - 1 && x <= x0 + width && y >= baseline - metrics.descent &&
                               y < baseline + metrics.ascent;
            (inBox ? inside : outside)++;
        }
    EXPECT_GT(inside, 40);
    EXPECT_EQ(outside, 0);

    // 'é' draws differently from 'e' (its accent rises above the x-height), same advance.
    const std::vector<uint8_t> plain = drawText("e", x0, baseline, nullptr);
    const std::vector<uint8_t> accented = drawText("\xE9", x0, baseline, nullptr);
    EXPECT_NE(plain, accented);
    auto highestDarkRow = [&](const std::vector<uint8_t>& pixels) {
        int highest = -1;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                if (isDark(pixels, kWidth, x, y)) highest = std::max(highest, y);
        return highest;
    };
    EXPECT_GT(highestDarkRow(accented), highestDarkRow(plain));

    // A control code draws nothing but advances.
    float afterTab = 0;
    const std::vector<uint8_t> tab = drawText("\t", x0, baseline, &afterTab);
    EXPECT_EQ(std::count_if(tab.begin(), tab.end(), [](uint8_t v) { return v < 128; }), 0);
    EXPECT_FLOAT_EQ(afterTab, float(x0 + metrics.widths['\t']));
}

TEST_F(FontListsTest, MissingFaceFallsBackAndBadRequestsChangeNothing) {
    FontMetrics metrics;
    ASSERT_TRUE(surface.buildFontLists("NoSuchFaceAnywhere", 12, listBase, metrics));
    EXPECT_GT(metrics.ascent, 0);
    EXPECT_GT(metrics.widths['W'], metrics.widths['i']);
    const std::vector<uint8_t> rgba = drawText("Fallback", 5, 12, nullptr);
    EXPECT_GT(std::count_if(rgba.begin(), rgba.end(), [](uint8_t v) { return v < 128; }), 40);

    FontMetrics untouched;
    untouched.widths.fill(7);
    EXPECT_FALSE(surface.buildFontLists("Arial", 12, 0, untouched)) << "list base 0";
    EXPECT_FALSE(surface.buildFontLists(nullptr, 12, listBase, untouched)) << "no face";
    EXPECT_EQ(untouched.ascent, 13);
    EXPECT_EQ(untouched.descent, 0);
    EXPECT_EQ(untouched.widths['W'], 7);
}

}  // namespace

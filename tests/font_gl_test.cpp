// The label font: fontconfig lookup, FreeType rasterising at a window-system font height, and
// the 256 glyph display lists drawn on a real offscreen context and read back.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/freetype_font.h"
#include "render_gl_rig.h"

using namespace orvo;

namespace {

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
    ASSERT_TRUE(sans.has_value() && unknown.has_value());
    EXPECT_EQ(unknown->path, sans->path) << "an unknown face gives the system's sans face";
    EXPECT_FALSE(findFontFile(nullptr).has_value());
}

TEST(FontRaster, HeightsFollowTheWindowSystemConvention) {
    // A positive height is the cell height (ascent + descent), a negative one the em size, 0 the
    // default 12: an 11-pixel em, ascent 10, descent 2 for this face.
    const struct {
        int height, em, cellLow, cellHigh;
    } heights[] = {{12, 11, 12, 12}, {0, 11, 12, 12}, {24, 0, 23, 25}, {-20, 20, 21, 30}};
    for (const auto& h : heights) {
        const std::optional<RasterFont> font = rasteriseLatin1Font("Arial", h.height);
        ASSERT_TRUE(font.has_value()) << h.height;
        if (h.em != 0) {
            EXPECT_EQ(font->pixelsPerEm, h.em) << h.height;
        }
        EXPECT_GE(font->metrics.ascent + font->metrics.descent, h.cellLow) << h.height;
        EXPECT_LE(font->metrics.ascent + font->metrics.descent, h.cellHigh) << h.height;
    }
    EXPECT_FALSE(rasteriseLatin1Font(nullptr, 12).has_value());

    const std::optional<RasterFont> font = rasteriseLatin1Font("Arial", 12);
    EXPECT_EQ(font->metrics.ascent, 10);
    const auto& widths = font->metrics.widths;
    EXPECT_GT(widths['W'], widths['i']);
    EXPECT_GT(widths['i'], 0);
    EXPECT_GT(widths[' '], 0);
    for (int code = 0; code < 256; ++code) {
        const GlyphBitmap& glyph = font->glyphs[size_t(code)];
        EXPECT_EQ(widths[size_t(code)], glyph.advance) << code;
        // Glyphs stay inside the cell: nothing above the ascent or below the descent.
        if (glyph.rows == 0) continue;
        EXPECT_LE(glyph.top, font->metrics.ascent + 1) << code;
        EXPECT_GE(glyph.top - glyph.rows, -font->metrics.descent - 1) << code;
    }
    // Codes 128..255 are Latin-1 characters with glyphs of their own: 'é' is 'e' with an accent
    // above it, 'ß' and '£' are drawn and measured. Control codes (C0 and C1) draw nothing.
    const GlyphBitmap& e = font->glyphs['e'];
    const GlyphBitmap& eAcute = font->glyphs[0xE9];
    EXPECT_EQ(widths[0xE9], widths['e']);
    EXPECT_GT(eAcute.top, e.top);
    EXPECT_GT(litPixelCount(eAcute), litPixelCount(e));
    EXPECT_GT(litPixelCount(font->glyphs[0xDF]), 0);
    EXPECT_GT(widths[0xA3], 0);
    for (int code : {0, 9, 0x1F, 0x7F, 0x80, 0x9F}) {
        EXPECT_TRUE(font->glyphs[size_t(code)].rows == 0 && font->glyphs[size_t(code)].bits.empty())
            << code;
    }
}

class FontListsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(rig.bareContext());
        glClearColor(1, 1, 1, 1);
        listBase = glGenLists(256);
        ASSERT_NE(listBase, 0u);
    }

    // Draws text in black on white at (x, baseline) and returns the pixels, bottom row first;
    // rasterX receives the raster position after the text.
    std::vector<uint8_t> drawText(const std::string& text, int x, int baseline, float& rasterX) {
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(0, 0, 0);
        glRasterPos2i(x, baseline);
        glListBase(listBase);
        glCallLists(GLsizei(text.size()), GL_UNSIGNED_BYTE, text.data());
        GLfloat position[4] = {};
        glGetFloatv(GL_CURRENT_RASTER_POSITION, position);
        rasterX = position[0];
        return rig.read(DrawBuffer::Back);
    }

    orvo::testing::SurfaceRig rig{160, 40};
    GLuint listBase = 0;
};

TEST_F(FontListsTest, GlyphListsDrawTheBitmapsAtTheirOffsetsAndAdvance) {
    // Set an unusual unpack state: the build must not depend on it and must give it back.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_TRUE);
    FontMetrics metrics;
    ASSERT_TRUE(rig.surface.buildFontLists("Arial", 12, listBase, metrics));
    GLint alignment = 0, lsbFirst = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glGetIntegerv(GL_UNPACK_LSB_FIRST, &lsbFirst);
    EXPECT_EQ(alignment, 8);
    EXPECT_EQ(lsbFirst, GL_TRUE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    for (unsigned code = 0; code < 256; ++code) ASSERT_TRUE(glIsList(listBase + code)) << code;
    const std::optional<RasterFont> font = rasteriseLatin1Font("Arial", 12);
    ASSERT_TRUE(font.has_value());
    EXPECT_EQ(metrics.ascent, 10);
    EXPECT_EQ(metrics.descent, 2);
    EXPECT_EQ(metrics.widths, font->metrics.widths);

    // Each glyph lands pixel for pixel where its offsets put it (a control code nowhere), and
    // moves the raster position by its advance; so does a word, by the sum of its widths.
    const int x0 = 20, baseline = 15;
    float rasterX = 0;
    for (int code : {int('W'), int('g'), int('i'), int('@'), 0xE9, 0xC5, int('\t')}) {
        const std::vector<uint8_t> rgba =
            drawText(std::string(1, char(code)), x0, baseline, rasterX);
        const GlyphBitmap& glyph = font->glyphs[size_t(code)];
        EXPECT_FLOAT_EQ(rasterX, float(x0 + glyph.advance)) << code;
        int mismatches = 0, dark = 0;
        for (int y = 0; y < rig.height(); ++y)
            for (int x = 0; x < rig.width(); ++x) {
                const int gx = x - (x0 + glyph.left), gy = y - (baseline + glyph.top - glyph.rows);
                const bool expected = gx >= 0 && gx < glyph.width && gy >= 0 && gy < glyph.rows &&
                                      glyph.pixel(gx, gy);
                const orvo::testing::Rgba p = rig.pixel(rgba, x, y);
                const bool drawn = p[0] < 128 && p[1] < 128 && p[2] < 128;
                mismatches += expected != drawn;
                dark += drawn;
            }
        EXPECT_EQ(mismatches, 0) << "glyph " << code;
        EXPECT_EQ(dark > 0, code != '\t') << "glyph " << code;
    }
    drawText("Web Site", x0, baseline, rasterX);
    int width = 0;
    for (unsigned char c : std::string("Web Site")) width += metrics.widths[c];
    EXPECT_FLOAT_EQ(rasterX, float(x0 + width));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(FontListsTest, MissingFaceFallsBackAndBadRequestsChangeNothing) {
    FontMetrics metrics;
    ASSERT_TRUE(rig.surface.buildFontLists("NoSuchFaceAnywhere", 12, listBase, metrics));
    EXPECT_GT(metrics.ascent, 0);
    EXPECT_GT(metrics.widths['W'], metrics.widths['i']);
    float rasterX = 0;
    const std::vector<uint8_t> rgba = drawText("Fallback", 5, 12, rasterX);
    EXPECT_GT(std::count_if(rgba.begin(), rgba.end(), [](uint8_t v) { return v < 128; }), 40);

    FontMetrics untouched;
    untouched.widths.fill(7);
    EXPECT_FALSE(rig.surface.buildFontLists("Arial", 12, 0, untouched)) << "list base 0";
    EXPECT_FALSE(rig.surface.buildFontLists(nullptr, 12, listBase, untouched)) << "no face";
    EXPECT_EQ(untouched.ascent, 13);
    EXPECT_EQ(untouched.descent, 0);
    EXPECT_EQ(untouched.widths['W'], 7);
}

}  // namespace

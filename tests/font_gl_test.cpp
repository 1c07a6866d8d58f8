// The label font: fontconfig lookup, FreeType rasterising at a window-system font height, and
// the 256 glyph display lists drawn on a real offscreen context and read back.

#include "platform/freetype_font.h"
#include "render_gl_rig.h"
#include "tests/glue/golden.h"

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

// A positive height is the cell height (ascent + descent), a negative one the em size, 0 the
// default 12. Per height the em and the cell, per code at the default height the glyph's advance,
// size, offsets and lit pixels, compared with tests/data/font_metrics.txt (made once from this
// face and checked by eye: 'é' is 'e' with an accent above it, 'ß' and '£' are drawn, control
// codes draw nothing, no glyph leaves the cell).
TEST(FontRaster, HeightsAndGlyphsAsTheirGoldenFile) {
    std::ostringstream out;
    for (const int height : {12, 0, 24, -20}) {
        const std::optional<RasterFont> font = rasteriseLatin1Font("Arial", height);
        ASSERT_TRUE(font.has_value()) << height;
        out << "height " << height << ": em " << font->pixelsPerEm << ", ascent "
            << font->metrics.ascent << ", descent " << font->metrics.descent << "\n";
    }
    EXPECT_FALSE(rasteriseLatin1Font(nullptr, 12).has_value());
    const std::optional<RasterFont> font = rasteriseLatin1Font("Arial", 12);
    for (int code = 0; code < 256; ++code) {
        const GlyphBitmap& g = font->glyphs[size_t(code)];
        EXPECT_EQ(font->metrics.widths[size_t(code)], g.advance) << code;
        out << code << ": advance " << g.advance << ", " << g.width << "x" << g.rows << " at "
            << g.left << "," << g.top << ", " << litPixelCount(g) << " lit, " << g.bits.size()
            << " bytes\n";
    }
    expectGolden("font_metrics.txt", out.str());
}

class FontListsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(rig.bareContext());
        listBase = glGenLists(256);
        ASSERT_NE(listBase, 0u);
    }

    // Draws text in black on white at (5, 15) and returns where the raster position ends.
    float drawText(const std::string& text) {
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(0, 0, 0);
        glRasterPos2i(5, 15);
        glListBase(listBase);
        glCallLists(GLsizei(text.size()), GL_UNSIGNED_BYTE, text.data());
        GLfloat position[4] = {};
        glGetFloatv(GL_CURRENT_RASTER_POSITION, position);
        return position[0];
    }

    orvo::testing::SurfaceRig rig{160, 40};
    GLuint listBase = 0;
};

// The glyphs, Latin-1 and a control code (which draws nothing) among them, against a picture
// made once from these lists: each lands pixel for pixel at its offsets (tolerance 0).
TEST_F(FontListsTest, GlyphListsDrawTheBitmapsAtTheirOffsetsAndAdvance) {
    // Set an unusual unpack state: the build must not depend on it and must give it back.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_TRUE);
    FontMetrics metrics;
    ASSERT_TRUE(rig.surface.buildFontLists("Arial", 12, listBase, metrics));
    GLint alignment = 0, lsbFirst = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glGetIntegerv(GL_UNPACK_LSB_FIRST, &lsbFirst);
    EXPECT_TRUE(alignment == 8 && lsbFirst == GL_TRUE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    for (unsigned code = 0; code < 256; ++code) ASSERT_TRUE(glIsList(listBase + code)) << code;
    EXPECT_EQ(std::pair(metrics.ascent, metrics.descent), std::pair(10, 2));
    EXPECT_EQ(metrics.widths, rasteriseLatin1Font("Arial", 12)->metrics.widths);

    const std::string text = "Wgi@\xE9\xC5\t Web Site";
    int width = 0;
    for (unsigned char c : text) width += metrics.widths[c];
    EXPECT_FLOAT_EQ(drawText(text), float(5 + width));
    EXPECT_TRUE(
        orvo::testing::matchesPicture(rig.picture(DrawBuffer::Back), "font_glyphs", 0, 0.0));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(FontListsTest, MissingFaceFallsBackAndBadRequestsChangeNothing) {
    FontMetrics metrics;
    ASSERT_TRUE(rig.surface.buildFontLists("NoSuchFaceAnywhere", 12, listBase, metrics));
    EXPECT_TRUE(metrics.ascent > 0 && metrics.widths['W'] > metrics.widths['i']);
    drawText("Fallback");
    const std::vector<uint8_t> rgba = rig.read(DrawBuffer::Back);
    EXPECT_GT(std::count_if(rgba.begin(), rgba.end(), [](uint8_t v) { return v < 128; }), 40);

    FontMetrics untouched;
    untouched.widths.fill(7);
    EXPECT_FALSE(rig.surface.buildFontLists("Arial", 12, 0, untouched)) << "list base 0";
    EXPECT_FALSE(rig.surface.buildFontLists(nullptr, 12, listBase, untouched)) << "no face";
    EXPECT_TRUE(untouched.ascent == 13 && untouched.descent == 0 && untouched.widths['W'] == 7);
}

}  // namespace

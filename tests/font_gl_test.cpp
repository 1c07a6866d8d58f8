// The label font: fontconfig lookup, FreeType rasterising at a window-system font height, and
// the 256 glyph display lists drawn on a real offscreen context and read back.

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
        EXPECT_TRUE(h.em == 0 || font->pixelsPerEm == h.em) << h.height;
        const int cell = font->metrics.ascent + font->metrics.descent;
        EXPECT_TRUE(cell >= h.cellLow && cell <= h.cellHigh) << h.height << ": " << cell;
    }
    EXPECT_FALSE(rasteriseLatin1Font(nullptr, 12).has_value());

    const std::optional<RasterFont> font = rasteriseLatin1Font("Arial", 12);
    EXPECT_EQ(font->metrics.ascent, 10);
    const auto& widths = font->metrics.widths;
    EXPECT_TRUE(widths['W'] > widths['i'] && widths['i'] > 0 && widths[' '] > 0);
    for (int code = 0; code < 256; ++code) {
        const GlyphBitmap& glyph = font->glyphs[size_t(code)];
        EXPECT_EQ(widths[size_t(code)], glyph.advance) << code;
        // Glyphs stay inside the cell: nothing above the ascent or below the descent.
        EXPECT_TRUE(glyph.rows == 0 || (glyph.top <= font->metrics.ascent + 1 &&
                                        glyph.top - glyph.rows >= -font->metrics.descent - 1))
            << code;
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

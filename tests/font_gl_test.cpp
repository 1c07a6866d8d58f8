// The label font: fontconfig lookup, FreeType rasterising at a window-system font height, the
// 256 glyph display lists drawn on a real offscreen context and read back, and the glyph atlas
// made from the same bitmaps.

#include <functional>
#include <limits>
#include <tuple>

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

// The atlas holds each glyph's bitmap texel for pixel with its offsets and advance, nothing
// outside the glyphs' rectangles (no glyph lies on another), and the lists' metrics.
TEST(GlyphAtlasFill, HoldsTheBitmapsOfTheGlyphListsAndNothingElse) {
    for (const int height : {12, -20}) {
        SCOPED_TRACE(height);
        const std::optional<RasterFont> font = rasteriseLatin1Font("Arial", height);
        ASSERT_TRUE(font.has_value());
        GlyphAtlas atlas;
        orvo::testing::SurfaceRig rig{8, 8};
        ASSERT_TRUE(rig.surface.buildGlyphAtlas("Arial", height, atlas));  // no context needed
        ASSERT_TRUE(atlas.valid());
        EXPECT_EQ(atlas.metrics.widths, font->metrics.widths);
        EXPECT_EQ(std::pair(atlas.metrics.ascent, atlas.metrics.descent),
                  std::pair(font->metrics.ascent, font->metrics.descent));
        size_t lit = 0;
        for (int code = 0; code < 256; ++code) {
            const GlyphBitmap& bitmap = font->glyphs[size_t(code)];
            const GlyphAtlas::Glyph& glyph = atlas.glyphs[size_t(code)];
            ASSERT_EQ(std::tuple(glyph.width, glyph.rows, glyph.left, glyph.top, glyph.advance),
                      std::tuple(bitmap.width, bitmap.rows, bitmap.left, bitmap.top,
                                 bitmap.advance))
                << code;
            for (int row = 0; row < glyph.rows; ++row)
                for (int x = 0; x < glyph.width; ++x) {
                    const bool ink = bitmap.pixel(x, bitmap.rows - 1 - row);
                    ASSERT_EQ(atlas.at(glyph, x, row), ink ? 255 : 0)
                        << "code " << code << " at " << x << "," << row << " from the top";
                }
            lit += size_t(litPixelCount(bitmap));
        }
        EXPECT_EQ(std::count(atlas.coverage.begin(), atlas.coverage.end(), 255), lit);
        EXPECT_EQ(std::count(atlas.coverage.begin(), atlas.coverage.end(), 0),
                  atlas.coverage.size() - lit);
    }
    GlyphAtlas untouched;
    untouched.width = 3;
    orvo::testing::SurfaceRig rig{8, 8};
    EXPECT_FALSE(rig.surface.buildGlyphAtlas(nullptr, 12, untouched));
    EXPECT_EQ(untouched.width, 3);
}

// Whoever fills an atlas may get it wrong: a back end takes none whose glyphs leave it or whose
// coverage is not width x height, and glyphs that do not fit the largest side are refused.
TEST(GlyphAtlasFill, BrokenAtlasesAreNotValidAndOversizedGlyphsDoNotFit) {
    auto good = [] {
        GlyphAtlas atlas;
        std::array<std::array<int, 2>, 256> sizes{};
        sizes.fill({3, 4});
        EXPECT_TRUE(atlas.arrange(sizes, 256));
        return atlas;
    };
    const struct {
        const char* what;
        std::function<void(GlyphAtlas&)> breakIt;
        bool valid;
    } cases[] = {
        {"as arranged", [](GlyphAtlas&) {}, true},
        {"a glyph in the last texels", [](GlyphAtlas& a) {
             a.glyphs[65] = {a.width - 3, a.height - 4, 3, 4, 0, 0, 3};
         }, true},
        {"coverage a byte short", [](GlyphAtlas& a) { a.coverage.pop_back(); }, false},
        {"a glyph a texel past the right", [](GlyphAtlas& a) {
             a.glyphs[65] = {a.width - 2, 0, 3, 4, 0, 0, 3};
         }, false},
        {"a glyph a texel past the bottom", [](GlyphAtlas& a) {
             a.glyphs[200] = {0, a.height - 3, 3, 4, 0, 0, 3};
         }, false},
        {"a glyph at a negative column", [](GlyphAtlas& a) { a.glyphs[7].x = -1; }, false},
        {"a glyph of negative rows", [](GlyphAtlas& a) { a.glyphs[7].rows = -1; }, false},
        {"a width that overflows the rectangle", [](GlyphAtlas& a) {
             a.glyphs[9] = {1, 0, std::numeric_limits<int>::max(), 1, 0, 0, 0};
         }, false},
        {"negative sides whose product is the coverage's size", [](GlyphAtlas& a) {
             a = GlyphAtlas{};
             a.width = a.height = -1;
             a.coverage.resize(1);
         }, false},
        {"a negative width of no texels", [](GlyphAtlas& a) {
             a = GlyphAtlas{};
             a.width = -1;
         }, false},
        {"no texel and no glyph", [](GlyphAtlas& a) { a = GlyphAtlas{}; }, true},
    };
    for (const auto& c : cases) {
        GlyphAtlas atlas = good();
        c.breakIt(atlas);
        EXPECT_EQ(atlas.valid(), c.valid) << c.what;
    }
    // Glyphs of many sizes each get their own rectangle, none on another or its gap.
    std::array<std::array<int, 2>, 256> sizes{};
    for (int code = 0; code < 256; ++code)
        sizes[size_t(code)] = {(code + 5) % 13, (code * 7 + 3) % 17};
    GlyphAtlas atlas;
    ASSERT_TRUE(atlas.arrange(sizes, 1024));
    ASSERT_TRUE(atlas.valid());
    for (size_t a = 0; a < 256; ++a) {
        const GlyphAtlas::Glyph& g = atlas.glyphs[a];
        ASSERT_EQ(std::pair(g.width, g.rows), std::pair(sizes[a][0], sizes[a][1])) << a;
        for (size_t b = a + 1; b < 256; ++b) {
            const GlyphAtlas::Glyph& o = atlas.glyphs[b];
            const bool apart = g.x + g.width + 1 <= o.x || o.x + o.width + 1 <= g.x ||
                               g.y + g.rows + 1 <= o.y || o.y + o.rows + 1 <= g.y;
            ASSERT_TRUE(apart || g.width * g.rows == 0 || o.width * o.rows == 0) << a << " " << b;
        }
    }
    sizes.fill({10, 10});
    EXPECT_TRUE(atlas.arrange(sizes, 176)) << "16 x 16 glyphs of 11 x 11 with their gaps";
    EXPECT_TRUE(atlas.valid());
    EXPECT_FALSE(atlas.arrange(sizes, 175));
    sizes[3] = {-1, 2};
    EXPECT_FALSE(atlas.arrange(sizes, 4096));
}

}  // namespace

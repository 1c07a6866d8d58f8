// Label font: fontconfig chooses the file, FreeType rasterises Latin-1 glyphs in monochrome, and
// each glyph becomes one glBitmap display list, as a bitmap font of the window system would.
#include "platform/freetype_font.h"

#include <GL/gl.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <memory>

namespace orvo {

namespace {

constexpr int kDefaultCellHeight = 12;
// Beyond this em size the 256 glyph bitmaps would take megabytes for no readable gain.
constexpr int kMaxPixelsPerEm = 512;

struct PatternDeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

struct LibraryDeleter {
    void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
using LibraryPtr = std::unique_ptr<FT_LibraryRec_, LibraryDeleter>;

struct FaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using FacePtr = std::unique_ptr<FT_FaceRec_, FaceDeleter>;

bool isControlCode(int code) { return code < 0x20 || (code >= 0x7F && code < 0xA0); }

// Round a 26.6 fixed-point value to whole pixels.
int roundedPixels(FT_Pos value) { return int((value + 32) >> 6); }

// Ascent and descent in font units as the window system measures a cell: the OS/2 table's
// Windows metrics where present, else the horizontal header's.
void cellExtent(FT_Face face, int& ascent, int& descent) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        ascent = os2->usWinAscent;
        descent = os2->usWinDescent;
    } else {
        ascent = face->ascender;
        descent = -face->descender;
    }
    if (ascent + descent <= 0) {
        ascent = face->units_per_EM;
        descent = 0;
    }
}

// Em size in whole pixels for a Windows-style height. Whole pixels because hinted TrueType
// glyphs are designed for integral sizes (the window system rounds the same way).
int pixelsPerEmFor(FT_Face face, int height) {
    if (height == 0) height = kDefaultCellHeight;
    long ppem = 0;
    if (height < 0) {
        ppem = -long(height);
    } else {
        int ascent = 0, descent = 0;
        cellExtent(face, ascent, descent);
        ppem = std::lround(double(height) * face->units_per_EM / double(ascent + descent));
    }
    return int(std::clamp<long>(ppem, 1, kMaxPixelsPerEm));
}

// Copies a rendered FreeType bitmap into glBitmap's layout: packed rows, bottom row first.
void copyBitmap(const FT_Bitmap& source, GlyphBitmap& glyph) {
    glyph.width = int(source.width);
    glyph.rows = int(source.rows);
    const size_t rowBytes = size_t((glyph.width + 7) / 8);
    glyph.bits.assign(rowBytes * size_t(glyph.rows), 0);
    const int pitch = std::abs(source.pitch);
    for (int row = 0; row < glyph.rows; ++row) {
        // A positive pitch stores the top row first; a negative one the bottom row first.
        const int memoryRow = source.pitch >= 0 ? row : glyph.rows - 1 - row;
        const uint8_t* in = source.buffer + size_t(memoryRow) * size_t(pitch);
        uint8_t* out = &glyph.bits[size_t(glyph.rows - 1 - row) * rowBytes];
        if (source.pixel_mode == FT_PIXEL_MODE_MONO) {
            std::copy(in, in + rowBytes, out);
        } else if (source.pixel_mode == FT_PIXEL_MODE_GRAY) {
            for (int x = 0; x < glyph.width; ++x)
                if (in[x] >= 128) out[x / 8] |= uint8_t(0x80 >> (x % 8));
        }
    }
    // Clear the padding bits past the last column so that glyphs compare byte for byte.
    if (glyph.width % 8 != 0)
        for (int row = 0; row < glyph.rows; ++row)
            glyph.bits[size_t(row) * rowBytes + rowBytes - 1] &=
                uint8_t(0xFF << (8 - glyph.width % 8));
}

bool rasteriseGlyph(FT_Face face, int code, GlyphBitmap& glyph) {
    const FT_UInt index = FT_Get_Char_Index(face, FT_ULong(code));
    const bool empty = isControlCode(code);
    const FT_Int32 flags = empty ? FT_LOAD_TARGET_MONO : FT_LOAD_RENDER | FT_LOAD_TARGET_MONO;
    if (FT_Load_Glyph(face, index, flags) != 0) return false;
    const FT_GlyphSlot slot = face->glyph;
    glyph.advance = roundedPixels(slot->advance.x);
    if (empty) return true;
    copyBitmap(slot->bitmap, glyph);
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    return true;
}

FacePtr openFace(FT_Library library, const FontFile& file) {
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.path.c_str(), file.faceIndex, &face) != 0) return nullptr;
    FacePtr owned(face);
    if (!FT_IS_SCALABLE(face)) return nullptr;
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0 && face->num_charmaps > 0)
        FT_Set_Charmap(face, face->charmaps[0]);
    return owned;
}

}  // namespace

std::optional<FontFile> findFontFile(const char* face) {
    if (!face || !FcInit()) return std::nullopt;
    PatternPtr pattern(FcPatternCreate());
    if (!pattern) return std::nullopt;
    // The family is added as a plain string (not parsed as a font name), so that characters
    // such as '-' and ':' in a face name keep their meaning.
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(face));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) return std::nullopt;
    FcChar8* path = nullptr;
    if (FcPatternGetString(match.get(), FC_FILE, 0, &path) != FcResultMatch || !path)
        return std::nullopt;
    FontFile file;
    file.path = reinterpret_cast<const char*>(path);
    FcPatternGetInteger(match.get(), FC_INDEX, 0, &file.faceIndex);
    FcChar8* family = nullptr;
    if (FcPatternGetString(match.get(), FC_FAMILY, 0, &family) == FcResultMatch && family)
        file.family = reinterpret_cast<const char*>(family);
    return file;
}

std::optional<RasterFont> rasteriseLatin1Font(const char* face, int height) {
    if (!face) return std::nullopt;
    FT_Library rawLibrary = nullptr;
    if (FT_Init_FreeType(&rawLibrary) != 0) return std::nullopt;
    LibraryPtr library(rawLibrary);

    auto font = std::make_optional<RasterFont>();
    FacePtr ftFace;
    // Should the chosen file fail to load, the system's sans-serif face stands in.
    for (const char* request : {face, "sans-serif"}) {
        std::optional<FontFile> file = findFontFile(request);
        if (!file) continue;
        ftFace = openFace(library.get(), *file);
        if (ftFace) {
            font->file = std::move(*file);
            break;
        }
    }
    if (!ftFace) return std::nullopt;

    font->pixelsPerEm = pixelsPerEmFor(ftFace.get(), height);
    if (FT_Set_Pixel_Sizes(ftFace.get(), 0, FT_UInt(font->pixelsPerEm)) != 0) return std::nullopt;
    int ascentUnits = 0, descentUnits = 0;
    cellExtent(ftFace.get(), ascentUnits, descentUnits);
    const double pixelsPerUnit = double(font->pixelsPerEm) / ftFace->units_per_EM;
    font->metrics.ascent = int(std::lround(ascentUnits * pixelsPerUnit));
    font->metrics.descent = int(std::lround(descentUnits * pixelsPerUnit));

    for (int code = 0; code < 256; ++code) {
        GlyphBitmap& glyph = font->glyphs[size_t(code)];
        if (!rasteriseGlyph(ftFace.get(), code, glyph)) glyph = GlyphBitmap{};
        font->metrics.widths[size_t(code)] = glyph.advance;
    }
    return font;
}

void compileGlyphLists(const RasterFont& font, unsigned listBase) {
    // glBitmap copies its bitmap into the list under the current unpack state, and the glyph
    // rows are packed to whole bytes with no padding: unpack with alignment 1 and no row length
    // or skips, then give the caller back whatever unpack state it had.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    // An empty glyph (a space, a control code) still needs bitmap data: Mesa reports running out
    // of memory for a null bitmap compiled into a list, and the list then does not advance.
    static const GLubyte noPixels[1] = {0};
    for (unsigned code = 0; code < 256; ++code) {
        const GlyphBitmap& glyph = font.glyphs[code];
        glNewList(listBase + code, GL_COMPILE);
        glBitmap(glyph.width, glyph.rows, GLfloat(-glyph.left), GLfloat(glyph.rows - glyph.top),
                 GLfloat(glyph.advance), 0.0f, glyph.bits.empty() ? noPixels : glyph.bits.data());
        glEndList();
    }
    glPopClientAttrib();
}

bool buildFreeTypeFontLists(const char* face, int height, unsigned listBase, FontMetrics& metrics) {
    if (listBase == 0) return false;
    std::optional<RasterFont> font = rasteriseLatin1Font(face, height);
    if (!font) return false;
    compileGlyphLists(*font, listBase);
    metrics = font->metrics;
    return true;
}

namespace {

// The largest texture every GL the atlas goes to is sure to take (ES 3.0 promises 2048).
constexpr int kAtlasMaxSide = 2048;

}  // namespace

bool fillGlyphAtlas(const RasterFont& font, int maxSide, GlyphAtlas& atlas) {
    std::array<std::array<int, 2>, 256> sizes{};
    for (size_t code = 0; code < 256; ++code)
        sizes[code] = {font.glyphs[code].width, font.glyphs[code].rows};
    GlyphAtlas filled;
    if (!filled.arrange(sizes, maxSide)) return false;
    for (size_t code = 0; code < 256; ++code) {
        const GlyphBitmap& bitmap = font.glyphs[code];
        GlyphAtlas::Glyph& glyph = filled.glyphs[code];
        glyph.left = bitmap.left;
        glyph.top = bitmap.top;
        glyph.advance = bitmap.advance;
        if (bitmap.bits.empty()) continue;
        // The bitmap's rows run bottom-up, the atlas's top-down.
        for (int row = 0; row < bitmap.rows; ++row)
            for (int x = 0; x < bitmap.width; ++x)
                if (bitmap.pixel(x, bitmap.rows - 1 - row)) filled.at(glyph, x, row) = 255;
    }
    filled.metrics = font.metrics;
    atlas = std::move(filled);
    return true;
}

bool buildFreeTypeGlyphAtlas(const char* face, int height, GlyphAtlas& atlas) {
    const std::optional<RasterFont> font = rasteriseLatin1Font(face, height);
    return font && fillGlyphAtlas(*font, kAtlasMaxSide, atlas);
}

}  // namespace orvo

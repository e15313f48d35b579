#include "gdi/font_face.h"

#include "kernel/text_encoding.h"

#include FT_MODULE_H
#include FT_DRIVER_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace korutil::detail {
namespace {

// Ems and widths past this many pixels are clamped: a glyph bitmap then stays within a few
// megabytes.
constexpr long long kMaxPixels = 1024;
// A height of 0 asks for the default size: a cell of 16 pixels.
constexpr long long kDefaultHeight = 16;
// Coverage bytes each glyph cache may keep; glyphs past it are rendered on every use.
constexpr std::size_t kGlyphBudget = std::size_t{2} << 20;
// Realised fonts that no font object uses any more are kept up to this number.
constexpr std::size_t kIdleFonts = 32;
// The shear of synthesised italics, as a 16.16 factor: x grows by 0.2 of the height.
constexpr FT_Fixed kItalicShear = 0x3333;

void* ftAlloc(FT_Memory, long size) {
    return std::malloc(static_cast<std::size_t>(size));
}
void ftFree(FT_Memory, void* block) {
    std::free(block);
}
void* ftRealloc(FT_Memory, long, long size, void* block) {
    return std::realloc(block, static_cast<std::size_t>(size));
}

// FreeType with fixed settings: the default modules without FREETYPE_PROPERTIES from the
// environment, and the TrueType interpreter pinned, so that glyphs come out alike everywhere.
// Made once and kept for the life of the process.
FT_Library library() {
    static FT_MemoryRec_ memory{nullptr, ftAlloc, ftFree, ftRealloc};
    static FT_Library const made = [] {
        FT_Library lib = nullptr;
        if (FT_New_Library(&memory, &lib) != 0) {
            return static_cast<FT_Library>(nullptr);
        }
        FT_Add_Default_Modules(lib);
        FT_UInt interpreter = TT_INTERPRETER_VERSION_40;
        FT_Property_Set(lib, "truetype", "interpreter-version", &interpreter);
        return lib;
    }();
    return made;
}

long long roundDiv(long long a, long long b) {
    return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

long long floorDiv(long long a, long long b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

long long ceilDiv(long long a, long long b) {
    return -floorDiv(-a, b);
}

long long clampPixels(long long value) {
    return std::clamp(value, 1LL, kMaxPixels);
}

// A character that each character set needs, to tell whether the font serves the set.
char32_t sampleOf(int charSet) {
    switch (charSet) {
    case EASTEUROPE_CHARSET:
        return 0x0150;
    case RUSSIAN_CHARSET:
        return 0x0416;
    case GREEK_CHARSET:
        return 0x03A9;
    case TURKISH_CHARSET:
        return 0x011F;
    case BALTIC_CHARSET:
        return 0x0173;
    case VIETNAMESE_CHARSET:
        return 0x01B0;
    case HEBREW_CHARSET:
        return 0x05D0;
    case ARABIC_CHARSET:
        return 0x0627;
    case THAI_CHARSET:
        return 0x0E01;
    case SHIFTJIS_CHARSET:
        return 0x3042;
    case HANGUL_CHARSET:
        return 0xAC00;
    case GB2312_CHARSET:
    case CHINESEBIG5_CHARSET:
        return 0x4E2D;
    default:
        return 0; // ANSI, DEFAULT, OEM, SYMBOL and unknown sets: the fonts give ANSI
    }
}

// The family bits of tmPitchAndFamily from the face's PANOSE classification.
BYTE familyOf(FT_Face face, const TT_OS2* os2) {
    if (FT_IS_FIXED_WIDTH(face)) {
        return FF_MODERN;
    }
    if (!os2) {
        return FF_SWISS;
    }
    switch (os2->panose[0]) {
    case 2: // Latin text: serif styles 11 to 13 are sans serif
        return os2->panose[1] >= 11 && os2->panose[1] <= 13 ? FF_SWISS : FF_ROMAN;
    case 3:
        return FF_SCRIPT;
    case 4:
    case 5:
        return FF_DECORATIVE;
    default:
        return FF_SWISS;
    }
}

// The key of a logical font in the cache: face names compare without case, and bytes after
// the name's end do not count.
std::string keyOf(const LOGFONTA& font) {
    LOGFONTA key = font;
    const std::size_t length = strnlen(font.lfFaceName, LF_FACESIZE);
    std::memset(key.lfFaceName, 0, LF_FACESIZE);
    for (std::size_t i = 0; i < length; ++i) {
        key.lfFaceName[i] =
            static_cast<char>(std::tolower(static_cast<unsigned char>(font.lfFaceName[i])));
    }
    return std::string(reinterpret_cast<const char*>(&key), sizeof key);
}

std::unordered_map<std::string, std::shared_ptr<FontFace>>& fontCache() {
    static auto* cache = new std::unordered_map<std::string, std::shared_ptr<FontFace>>;
    return *cache; // outlives every static destructor, like the handle table
}

} // namespace

FontFace::~FontFace() {
    if (m_primary.face) {
        FT_Done_Face(m_primary.face);
    }
    if (m_fallback.face) {
        FT_Done_Face(m_fallback.face);
    }
}

bool FontFace::openFace(const FontFile& file, Face& out) {
    FT_Library lib = library();
    FT_Face face = nullptr;
    if (!lib || FT_New_Face(lib, file.path.c_str(), file.index, &face) != 0) {
        return false;
    }
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0 || (m_ppemY > 0 && !sizeFace(face))) {
        FT_Done_Face(face);
        return false;
    }
    if (m_font.lfItalic && !file.italic) {
        FT_Matrix shear{0x10000, kItalicShear, 0, 0x10000};
        FT_Set_Transform(face, &shear, nullptr);
    }
    out.face = face;
    out.embolden = m_font.lfWeight >= FW_SEMIBOLD && !file.bold;
    return true;
}

bool FontFace::sizeFace(FT_Face face) const {
    return FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(m_ppemX), static_cast<FT_UInt>(m_ppemY)) ==
           0;
}

FontFace::Face* FontFace::fallbackFace() {
    if (!m_fallbackTried) {
        m_fallbackTried = true;
        FontFile file;
        if (fallbackFont(m_primaryFile, m_font, file)) {
            openFace(file, m_fallback);
        }
    }
    return m_fallback.face ? &m_fallback : nullptr;
}

void FontFace::inkExtent(long long& above, long long& below) const {
    // Windows' Latin-1 code page past ASCII: what usWinAscent and usWinDescent are meant to
    // cover.
    static const char32_t kSpecials[] = {0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x017D, 0x2018,
                                         0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC,
                                         0x2122, 0x0161, 0x203A, 0x0153, 0x017E, 0x0178};
    above = 0;
    below = 0;
    FT_Face face = m_primary.face;
    auto reach = [&](char32_t c, FT_Int32 target) {
        const FT_UInt index = FT_Get_Char_Index(face, c);
        if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | target) != 0 ||
            face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
            return;
        }
        FT_BBox box;
        FT_Outline_Get_CBox(&face->glyph->outline, &box);
        if (box.yMax > box.yMin) {
            above = std::max(above, ceilDiv(box.yMax, 64));
            below = std::max(below, -floorDiv(box.yMin, 64));
        }
    };
    // A grey-scale font draws bilevel on paletted surfaces, so both renderings count.
    for (const FT_Int32 target : {FT_LOAD_TARGET_MONO, FT_LOAD_TARGET_NORMAL}) {
        if (target == FT_LOAD_TARGET_NORMAL && m_bilevel) {
            continue;
        }
        for (char32_t c = 0x21; c <= 0xFF; ++c) {
            if (c < 0x7F || c > 0xA0) {
                reach(c, target);
            }
        }
        for (const char32_t c : kSpecials) {
            reach(c, target);
        }
    }
}

std::shared_ptr<FontFace> FontFace::create(const LOGFONTA& font) {
    auto made = std::make_shared<FontFace>();
    made->m_font = font;
    made->m_bilevel = font.lfQuality == NONANTIALIASED_QUALITY;
    if (!matchFont(font, made->m_primaryFile) ||
        !made->openFace(made->m_primaryFile, made->m_primary)) {
        return nullptr;
    }
    FT_Face face = made->m_primary.face;
    const long long upem = face->units_per_EM;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    long long winAscent = os2 ? os2->usWinAscent : face->ascender;
    long long winDescent = os2 ? os2->usWinDescent : -face->descender;
    if (winAscent + winDescent <= 0) {
        winAscent = face->ascender;
        winDescent = -face->descender;
    }
    const long long total = winAscent + winDescent;
    if (total <= 0 || winAscent < 0 || winDescent < 0) {
        return nullptr;
    }

    // The sign rule: a positive height is the cell (ascent + descent), a negative one the em
    // (the cell less the internal leading). The cell also holds the hinted ink of the Latin-1
    // characters, which may reach a row past the scaled usWinAscent or usWinDescent; a cell of
    // fixed height gets a smaller em when its ink would not fit.
    const long long requested = font.lfHeight == 0 ? kDefaultHeight : font.lfHeight;
    long long cell = requested;
    long long ppemY = 0;
    if (requested > 0) {
        ppemY = roundDiv(cell * upem, total);
        if (ppemY > kMaxPixels) {
            ppemY = kMaxPixels;
            cell = roundDiv(ppemY * total, upem);
        }
        ppemY = clampPixels(ppemY);
    } else {
        ppemY = clampPixels(-requested);
    }
    const long long average = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : upem / 2;
    const long long width = font.lfWidth < 0 ? -static_cast<long long>(font.lfWidth) : font.lfWidth;
    long long inkAbove = 0;
    long long inkBelow = 0;
    for (;;) {
        made->m_ppemY = static_cast<int>(ppemY);
        made->m_ppemX =
            static_cast<int>(width == 0 ? ppemY : clampPixels(roundDiv(width * upem, average)));
        if (!made->sizeFace(face)) {
            return nullptr;
        }
        made->inkExtent(inkAbove, inkBelow);
        const long long ink = inkAbove + inkBelow;
        if (requested < 0 || ink <= cell || ppemY == 1) {
            break;
        }
        // Shrink in proportion, by one pixel at least, so that few sizes are measured.
        ppemY = std::max(1LL, std::min(ppemY - 1, ppemY * cell / ink));
    }
    long long ascent = 0;
    long long descent = 0;
    if (requested > 0) {
        ascent = std::max(inkAbove, std::min(roundDiv(cell * winAscent, total), cell - inkBelow));
        ascent = std::min(ascent, cell);
        descent = cell - ascent;
    } else {
        ascent = std::max(inkAbove, roundDiv(winAscent * ppemY, upem));
        descent = std::max(inkBelow, roundDiv(winDescent * ppemY, upem));
        cell = ascent + descent;
    }
    const long long ppemX = made->m_ppemX;
    const bool bold = made->m_primary.embolden;
    made->m_boldStrength = bold ? static_cast<int>(std::max(1LL, roundDiv(ppemY, 24))) : 0;

    TEXTMETRICA& tm = made->m_metrics;
    tm.tmHeight = static_cast<LONG>(cell);
    tm.tmAscent = static_cast<LONG>(ascent);
    tm.tmDescent = static_cast<LONG>(descent);
    tm.tmInternalLeading = static_cast<LONG>(cell - ppemY);
    if (hhea) {
        const long long gap =
            hhea->Line_Gap - (total - (static_cast<long long>(hhea->Ascender) - hhea->Descender));
        tm.tmExternalLeading = static_cast<LONG>(gap > 0 ? roundDiv(gap * ppemY, upem) : 0);
    }
    tm.tmAveCharWidth = static_cast<LONG>(roundDiv(average * ppemX, upem) + made->m_boldStrength);
    // The widest character is the face's bounding box, as wide as any glyph's ink.
    const long long widest = static_cast<long long>(face->bbox.xMax) - face->bbox.xMin;
    tm.tmMaxCharWidth = static_cast<LONG>(roundDiv(widest * ppemX, upem) + made->m_boldStrength);
    tm.tmWeight = bold ? FW_BOLD
                  : os2 && os2->usWeightClass > 0
                      ? os2->usWeightClass
                      : (made->m_primaryFile.bold ? FW_BOLD : FW_NORMAL);
    tm.tmOverhang = 0;
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x1E;
    tm.tmLastChar = 0xFF;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmItalic = font.lfItalic || made->m_primaryFile.italic ? 255 : 0;
    tm.tmUnderlined = font.lfUnderline ? 255 : 0;
    tm.tmStruckOut = font.lfStrikeOut ? 255 : 0;
    // TMPF_FIXED_PITCH set means variable pitch.
    tm.tmPitchAndFamily = static_cast<BYTE>(familyOf(face, os2) | TMPF_TRUETYPE | TMPF_VECTOR |
                                            (FT_IS_FIXED_WIDTH(face) ? 0 : TMPF_FIXED_PITCH));

    // Lines: the underline's centre lies underline_position below the baseline, the top of
    // the strike-out yStrikeoutPosition above it. Both are kept inside the cell.
    auto thickness = [&](long long units) {
        return std::clamp(roundDiv(units * ppemY, upem), 1LL, std::max(1LL, cell));
    };
    const long long underline = thickness(face->underline_thickness);
    const long long below =
        roundDiv(-2 * face->underline_position * ppemY - underline * upem, 2 * upem);
    made->m_underlineHeight = static_cast<int>(underline);
    made->m_underlineTop = static_cast<int>(
        std::clamp(ascent + std::max(0LL, below), 0LL, std::max(0LL, cell - underline)));
    const long long strike = os2 ? thickness(os2->yStrikeoutSize) : underline;
    const long long above = os2 ? roundDiv(os2->yStrikeoutPosition * ppemY, upem) : ppemY / 4;
    made->m_strikeHeight = static_cast<int>(strike);
    made->m_strikeTop =
        static_cast<int>(std::clamp(ascent - above, 0LL, std::max(0LL, cell - strike)));

    made->m_faceName = made->m_primaryFile.family;
    const char32_t sample = sampleOf(font.lfCharSet);
    const bool served =
        sample != 0 &&
        (FT_Get_Char_Index(face, sample) != 0 ||
         (made->fallbackFace() && FT_Get_Char_Index(made->fallbackFace()->face, sample) != 0));
    tm.tmCharSet = served ? font.lfCharSet : static_cast<BYTE>(ANSI_CHARSET);
    return made;
}

void FontFace::render(char32_t c, bool bilevel, Glyph& out) {
    Face* face = &m_primary;
    FT_UInt index = 0;
    if (c != kInvalidUtf8) {
        index = FT_Get_Char_Index(m_primary.face, c);
        // Only characters past ASCII fall back, so that control characters keep the default
        // character of the font.
        if (index == 0 && c >= 0x80) {
            Face* other = fallbackFace();
            const FT_UInt alternative = other ? FT_Get_Char_Index(other->face, c) : 0;
            if (alternative != 0) {
                face = other;
                index = alternative;
            }
        }
    }
    out = Glyph{};
    const FT_Int32 flags =
        FT_LOAD_NO_BITMAP | (bilevel ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Glyph(face->face, index, flags) != 0) {
        return;
    }
    FT_GlyphSlot slot = face->face->glyph;
    int extra = 0;
    if (face->embolden && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Outline_EmboldenXY(&slot->outline, m_boldStrength * 64, 0);
        extra = m_boldStrength;
    }
    // The scaled outline advance rounded to pixels, whatever the rendering: text keeps its
    // width when only the quality changes.
    out.advance = static_cast<int>((slot->linearHoriAdvance + 0x8000) >> 16) + extra;
    if (FT_Render_Glyph(slot, bilevel ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) {
        return;
    }
    const FT_Bitmap& bitmap = slot->bitmap;
    out.left = slot->bitmap_left;
    out.top = slot->bitmap_top;
    out.width = static_cast<int>(bitmap.width);
    out.height = static_cast<int>(bitmap.rows);
    out.coverage.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    for (int y = 0; y < out.height; ++y) {
        const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
        std::uint8_t* into = out.coverage.data() + static_cast<std::size_t>(y) * out.width;
        if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
            for (int x = 0; x < out.width; ++x) {
                into[x] = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
            }
        } else {
            std::memcpy(into, row, static_cast<std::size_t>(out.width));
        }
    }
}

const Glyph& FontFace::glyph(char32_t c, bool bilevel) {
    // A grey-scale font keeps its bilevel glyphs apart.
    const bool secondary = bilevel && !m_bilevel;
    Cache& cache = m_caches[secondary ? 1 : 0];
    Glyph* found = nullptr;
    if (c < 256) {
        found = cache.low[c].get();
    } else {
        auto it = cache.high.find(c);
        found = it != cache.high.end() ? &it->second : nullptr;
    }
    if (found) {
        return *found;
    }
    Glyph made;
    render(c, secondary || m_bilevel, made);
    if (cache.bytes + made.coverage.size() > kGlyphBudget) {
        m_scratch = std::move(made);
        return m_scratch;
    }
    cache.bytes += made.coverage.size();
    if (c < 256) {
        cache.low[c] = std::make_unique<Glyph>(std::move(made));
        return *cache.low[c];
    }
    return cache.high.emplace(c, std::move(made)).first->second;
}

FontFace* realiseFont(FontObject& font) {
    if (font.face) {
        return font.face.get();
    }
    auto& cache = fontCache();
    const std::string key = keyOf(font.font);
    auto it = cache.find(key);
    if (it == cache.end()) {
        std::shared_ptr<FontFace> made = FontFace::create(font.font);
        if (!made) {
            return nullptr;
        }
        if (cache.size() >= kIdleFonts) {
            for (auto idle = cache.begin(); idle != cache.end();) {
                idle = idle->second.use_count() == 1 ? cache.erase(idle) : std::next(idle);
            }
        }
        it = cache.emplace(key, std::move(made)).first;
    }
    font.face = it->second;
    return font.face.get();
}

} // namespace korutil::detail

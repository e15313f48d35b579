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
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0 ||
        FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(m_ppemX), static_cast<FT_UInt>(m_ppemY)) !=
            0) {
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

std::shared_ptr<FontFace> FontFace::create(const LOGFONTA& font) {
    auto made = std::make_shared<FontFace>();
    made->m_font = font;
    made->m_bilevel = font.lfQuality == NONANTIALIASED_QUALITY;
    if (!matchFont(font, made->m_primaryFile)) {
        return nullptr;
    }
    // The em comes from the face's tables, so open it once to read them, then size it.
    FT_Face probe = nullptr;
    FT_Library lib = library();
    if (!lib || FT_New_Face(lib, made->m_primaryFile.path.c_str(), made->m_primaryFile.index,
                            &probe) != 0) {
        return nullptr;
    }
    const long long upem = probe->units_per_EM;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(probe, FT_SFNT_OS2));
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(probe, FT_SFNT_HHEA));
    long long winAscent = os2 ? os2->usWinAscent : probe->ascender;
    long long winDescent = os2 ? os2->usWinDescent : -probe->descender;
    if (winAscent + winDescent <= 0) {
        winAscent = probe->ascender;
        winDescent = -probe->descender;
    }
    const long long total = winAscent + winDescent;
    if (upem <= 0 || total <= 0 || winAscent < 0 || winDescent < 0) {
        FT_Done_Face(probe);
        return nullptr;
    }

    // The sign rule: a positive height is the cell (ascent + descent), a negative one the em
    // (the cell less the internal leading).
    const long long requested = font.lfHeight == 0 ? kDefaultHeight : font.lfHeight;
    long long ascent = 0;
    long long descent = 0;
    long long ppemY = 0;
    if (requested > 0) {
        long long cell = requested;
        ppemY = roundDiv(cell * upem, total);
        if (ppemY > kMaxPixels) {
            ppemY = kMaxPixels;
            cell = roundDiv(ppemY * total, upem);
        }
        ppemY = clampPixels(ppemY);
        ascent = roundDiv(cell * winAscent, total);
        descent = cell - ascent;
    } else {
        ppemY = clampPixels(-requested);
        ascent = roundDiv(winAscent * ppemY, upem);
        descent = roundDiv(winDescent * ppemY, upem);
    }
    const long long average = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : upem / 2;
    const long long width = font.lfWidth < 0 ? -static_cast<long long>(font.lfWidth) : font.lfWidth;
    const long long ppemX = width == 0 ? ppemY : clampPixels(roundDiv(width * upem, average));
    made->m_ppemX = static_cast<int>(ppemX);
    made->m_ppemY = static_cast<int>(ppemY);
    const bool bold = font.lfWeight >= FW_SEMIBOLD && !made->m_primaryFile.bold;
    made->m_boldStrength = bold ? static_cast<int>(std::max(1LL, roundDiv(ppemY, 24))) : 0;

    TEXTMETRICA& tm = made->m_metrics;
    tm.tmHeight = static_cast<LONG>(ascent + descent);
    tm.tmAscent = static_cast<LONG>(ascent);
    tm.tmDescent = static_cast<LONG>(descent);
    tm.tmInternalLeading = static_cast<LONG>(ascent + descent - ppemY);
    if (hhea) {
        const long long gap =
            hhea->Line_Gap - (total - (static_cast<long long>(hhea->Ascender) - hhea->Descender));
        tm.tmExternalLeading = static_cast<LONG>(gap > 0 ? roundDiv(gap * ppemY, upem) : 0);
    }
    tm.tmAveCharWidth = static_cast<LONG>(roundDiv(average * ppemX, upem) + made->m_boldStrength);
    // The widest character is the face's bounding box, as wide as any glyph's ink.
    const long long widest = static_cast<long long>(probe->bbox.xMax) - probe->bbox.xMin;
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
    tm.tmPitchAndFamily = static_cast<BYTE>(familyOf(probe, os2) | TMPF_TRUETYPE | TMPF_VECTOR |
                                            (FT_IS_FIXED_WIDTH(probe) ? 0 : TMPF_FIXED_PITCH));

    // Lines: the underline's centre lies underline_position below the baseline, the top of
    // the strike-out yStrikeoutPosition above it. Both are kept inside the cell.
    const long long cell = ascent + descent;
    auto thickness = [&](long long units) {
        return std::clamp(roundDiv(units * ppemY, upem), 1LL, std::max(1LL, cell));
    };
    const long long underline = thickness(probe->underline_thickness);
    const long long below =
        roundDiv(-2 * probe->underline_position * ppemY - underline * upem, 2 * upem);
    made->m_underlineHeight = static_cast<int>(underline);
    made->m_underlineTop = static_cast<int>(
        std::clamp(ascent + std::max(0LL, below), 0LL, std::max(0LL, cell - underline)));
    const long long strike = os2 ? thickness(os2->yStrikeoutSize) : underline;
    const long long above = os2 ? roundDiv(os2->yStrikeoutPosition * ppemY, upem) : ppemY / 4;
    made->m_strikeHeight = static_cast<int>(strike);
    made->m_strikeTop =
        static_cast<int>(std::clamp(ascent - above, 0LL, std::max(0LL, cell - strike)));
    FT_Done_Face(probe);

    if (!made->openFace(made->m_primaryFile, made->m_primary)) {
        return nullptr;
    }
    made->m_faceName = made->m_primaryFile.family;
    const char32_t sample = sampleOf(font.lfCharSet);
    const bool served =
        sample != 0 &&
        (FT_Get_Char_Index(made->m_primary.face, sample) != 0 ||
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
    out.advance = static_cast<int>((slot->advance.x + 32) >> 6) + extra;
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
    // A grey-scale font keeps its bilevel glyphs apart, with the advances of its own.
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
    const int ownAdvance = secondary ? advance(c) : 0;
    Glyph made;
    render(c, secondary || m_bilevel, made);
    if (secondary) {
        made.advance = ownAdvance;
    }
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

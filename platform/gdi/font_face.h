// Realised fonts: a logical font turned into a sized FreeType face with its text metrics and a
// cache of rendered glyphs. Realised fonts are shared through a cache keyed by the logical
// font, so that fonts created alike render once. Callers hold the layer's lock (gdi/lock.h).
#pragma once

#include "gdi/font_match.h"
#include "gdi/objects.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace korutil::detail {

// One rendered character: coverage 0 (none) to 255 (full), row by row; bilevel glyphs use only
// 0 and 255. The bitmap's left column lies `left` pixels right of the pen position and its top
// row `top` pixels above the baseline.
struct Glyph {
    int advance = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> coverage;
};

struct FontFace {
    FontFace() = default;
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    // Realises a logical font; null when no font file can be read.
    static std::shared_ptr<FontFace> create(const LOGFONTA& font);

    const TEXTMETRICA& metrics() const { return m_metrics; }
    const std::string& faceName() const { return m_faceName; }
    // NONANTIALIASED_QUALITY: glyphs are bilevel on every surface.
    bool bilevel() const { return m_bilevel; }
    bool underlined() const { return m_metrics.tmUnderlined != 0; }
    bool struckOut() const { return m_metrics.tmStruckOut != 0; }
    // Rows of the underline and the strike-out line, counted from the top of the cell; both
    // lie inside the cell.
    int underlineTop() const { return m_underlineTop; }
    int underlineHeight() const { return m_underlineHeight; }
    int strikeTop() const { return m_strikeTop; }
    int strikeHeight() const { return m_strikeHeight; }

    // The glyph of a code point; kInvalidUtf8, and characters that no face of the font has,
    // give the default character. `bilevel` asks for the two-level rendering that monochrome
    // and paletted surfaces draw; advances do not depend on the rendering. The glyph stays
    // valid until the next call.
    const Glyph& glyph(char32_t c, bool bilevel);
    // The advance of a code point in pixels.
    int advance(char32_t c) { return glyph(c, m_bilevel).advance; }

private:
    struct Face {
        FT_Face face = nullptr;
        bool embolden = false; // the file is lighter than asked: bold is synthesised
    };
    struct Cache {
        std::unique_ptr<Glyph> low[256];
        std::unordered_map<char32_t, Glyph> high;
        std::size_t bytes = 0; // of cached coverage
    };

    // Opens a file's face at the font's size (once it has one), with synthesised italics.
    bool openFace(const FontFile& file, Face& out);
    bool sizeFace(FT_Face face) const;
    // The rows above and below the baseline that the hinted glyphs of the Latin-1 characters
    // reach at the current size.
    void inkExtent(long long& above, long long& below) const;
    Face* fallbackFace();
    void render(char32_t c, bool bilevel, Glyph& out);

    LOGFONTA m_font{};
    TEXTMETRICA m_metrics{};
    std::string m_faceName;
    bool m_bilevel = false;
    int m_ppemX = 0;
    int m_ppemY = 0;
    int m_boldStrength = 0; // pixels that synthesised bold adds to each glyph
    int m_underlineTop = 0;
    int m_underlineHeight = 1;
    int m_strikeTop = 0;
    int m_strikeHeight = 1;
    Face m_primary;
    Face m_fallback;
    bool m_fallbackTried = false;
    FontFile m_primaryFile;
    Cache m_caches[2]; // the font's own rendering, and bilevel glyphs of a grey-scale font
    Glyph m_scratch;   // a glyph rendered past the cache's budget
};

// The realised font of a font object, made or found in the cache on first use; null when no
// font file can be read.
FontFace* realiseFont(FontObject& font);

} // namespace korutil::detail

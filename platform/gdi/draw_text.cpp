#include "gdi/text_run.h"

#include "kernel/text_encoding.h"

#include <korutil/platform/errors.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

using namespace korutil::detail;

namespace {

// With DT_TABSTOP, bits 8 to 15 of the format hold the characters per tab stop instead of
// flags.
constexpr UINT kTabStopBits = 0xFF00;
constexpr long long kDefaultTabChars = 8;
const char kEllipsis[] = "...";

struct Line {
    std::string text;    // what is shown: prefix characters resolved
    std::vector<INT> dx; // one entry per byte when tabs are expanded; empty otherwise
    long long width = 0;
    long long prefix = -1; // byte of the underlined character, or -1
};

bool isBreak(char32_t c) {
    return c == ' ' || c == '\t';
}

// Lays text out in lines: prefix characters, tab stops, word breaks and the end ellipsis.
class Layout {
public:
    Layout(FontFace& font, int extra, long long tabWidth)
        : m_font(font), m_extra(extra), m_tabWidth(tabWidth) {}

    std::vector<Line> lines;

    // One paragraph (text without line breaks), broken between words into lines no wider
    // than `wrapWidth` when `wrap`; a word wider than that stays whole on a line of its own.
    void addParagraph(const char* text, std::size_t length, bool prefixes, bool wrap,
                      long long wrapWidth) {
        long long prefix = -1;
        const std::string shown =
            prefixes ? resolvePrefixes(text, length, prefix) : std::string(text, length);
        if (!wrap) {
            emit(shown, 0, shown.size(), prefix);
            return;
        }
        std::size_t start = 0;
        for (;;) {
            std::size_t breakAt = start; // the end of the last word that fits
            long long x = 0;
            bool afterWord = false;
            const char* const begin = shown.data();
            const char* const end = begin + shown.size();
            const char* p = begin + start;
            bool broke = false;
            while (p < end) {
                const char* at = p;
                const char32_t c = nextUtf8(p, end);
                const long long advance = advanceAt(c, x) + m_extra;
                if (isBreak(c)) {
                    if (afterWord) {
                        breakAt = static_cast<std::size_t>(at - begin);
                    }
                    afterWord = false;
                } else {
                    if (x + advance > wrapWidth && breakAt > start) {
                        broke = true;
                        break;
                    }
                    afterWord = true;
                }
                x += advance;
            }
            if (!broke) {
                emit(shown, start, shown.size(), prefix);
                return;
            }
            // The blanks at the break belong to neither line.
            emit(shown, start, breakAt, prefix);
            start = breakAt;
            while (start < shown.size() && isBreak(static_cast<unsigned char>(shown[start]))) {
                ++start;
            }
            if (start == shown.size()) {
                return;
            }
        }
    }

    // Cuts a line wider than `width` to what fits with "..." after it.
    void ellipsize(Line& line, long long width) {
        if (line.width <= width) {
            return;
        }
        const long long dots = static_cast<long long>(m_font.advance('.')) + m_extra;
        const char* const begin = line.text.data();
        const char* const end = begin + line.text.size();
        const char* p = begin;
        long long x = 0;
        std::size_t keep = 0;
        while (p < end) {
            const char* at = p;
            const char32_t c = nextUtf8(p, end);
            long long advance = 0;
            if (line.dx.empty()) {
                advance = m_font.advance(c);
            } else {
                for (const char* q = at; q < p; ++q) {
                    advance += line.dx[static_cast<std::size_t>(q - begin)];
                }
            }
            if (x + advance + m_extra + 3 * dots > width) {
                break;
            }
            x += advance + m_extra;
            keep = static_cast<std::size_t>(p - begin);
        }
        line.text.resize(keep);
        line.text += kEllipsis;
        if (!line.dx.empty()) {
            line.dx.resize(keep);
            line.dx.insert(line.dx.end(), 3, static_cast<INT>(dots - m_extra));
        }
        line.width = x + 3 * dots;
        if (line.prefix >= static_cast<long long>(keep)) {
            line.prefix = -1;
        }
    }

private:
    static std::string resolvePrefixes(const char* text, std::size_t length, long long& prefix) {
        std::string shown;
        shown.reserve(length);
        for (std::size_t i = 0; i < length; ++i) {
            // "&&" shows one ampersand; "&x" shows x underlined; a last lone '&' shows itself.
            if (text[i] == '&' && i + 1 < length) {
                ++i;
                if (text[i] != '&') {
                    prefix = static_cast<long long>(shown.size());
                }
            }
            shown.push_back(text[i]);
        }
        return shown;
    }

    // A tab reaches the next stop after x (stops every m_tabWidth pixels from the line's
    // start); other characters advance as the font says.
    long long advanceAt(char32_t c, long long x) const {
        if (c == '\t' && m_tabWidth > 0) {
            const long long into = ((x % m_tabWidth) + m_tabWidth) % m_tabWidth;
            return m_tabWidth - into;
        }
        return m_font.advance(c);
    }

    void emit(const std::string& shown, std::size_t from, std::size_t to, long long prefix) {
        Line line;
        line.text.assign(shown, from, to - from);
        line.prefix = prefix >= static_cast<long long>(from) && prefix < static_cast<long long>(to)
                          ? prefix - static_cast<long long>(from)
                          : -1;
        const bool tabs = m_tabWidth > 0 && line.text.find('\t') != std::string::npos;
        if (tabs) {
            line.dx.assign(line.text.size(), 0);
        }
        const char* const begin = line.text.data();
        const char* const end = begin + line.text.size();
        const char* p = begin;
        while (p < end) {
            const char* at = p;
            const char32_t c = nextUtf8(p, end);
            const long long advance = advanceAt(c, line.width);
            if (tabs) {
                line.dx[static_cast<std::size_t>(at - begin)] = static_cast<INT>(advance);
            }
            line.width += advance + m_extra;
        }
        lines.push_back(std::move(line));
    }

    FontFace& m_font;
    int m_extra;
    long long m_tabWidth; // 0: tabs are characters like any other
};

// Splits at CR, LF, CR LF and LF CR; a break at the very end starts no further line.
void addParagraphs(Layout& layout, const char* text, std::size_t length, bool prefixes, bool wrap,
                   long long width) {
    std::size_t start = 0;
    bool pending = true;
    for (std::size_t i = 0; i < length;) {
        if (text[i] != '\r' && text[i] != '\n') {
            ++i;
            continue;
        }
        layout.addParagraph(text + start, i - start, prefixes, wrap, width);
        std::size_t next = i + 1;
        if (next < length && (text[next] == '\r' || text[next] == '\n') && text[next] != text[i]) {
            ++next;
        }
        i = start = next;
        pending = start < length;
    }
    if (pending) {
        layout.addParagraph(text + start, length - start, prefixes, wrap, width);
    }
}

} // namespace

// The context's text alignment does not move the text: it is laid out in the rectangle from
// its top-left corner, and the current position stays.
extern "C" int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format) {
    if (!lprc || (!lpchText && cchText != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (cchText == 0) {
        return 0;
    }
    const std::size_t length =
        cchText < 0 ? std::strlen(lpchText) : static_cast<std::size_t>(cchText);
    return withDc(hdc, 0, [&](DcObject& dc) -> int {
        FontFace* font = contextFont(dc);
        if (!font) {
            return 0;
        }
        UINT flags = format;
        long long tabChars = kDefaultTabChars;
        if (flags & DT_TABSTOP) {
            const UINT chars = (flags & kTabStopBits) >> 8;
            tabChars = chars ? chars : kDefaultTabChars;
            flags &= ~kTabStopBits;
        }
        const TEXTMETRICA& metrics = font->metrics();
        const RECT rect = *lprc;
        const long long rectWidth = static_cast<long long>(rect.right) - rect.left;
        const long long rectHeight = static_cast<long long>(rect.bottom) - rect.top;
        const bool single = (flags & DT_SINGLELINE) != 0;
        const bool prefixes = (flags & DT_NOPREFIX) == 0;
        Layout layout(*font, dc.state.charExtra,
                      flags & DT_EXPANDTABS ? tabChars * metrics.tmAveCharWidth : 0);
        if (single) {
            layout.addParagraph(lpchText, length, prefixes, false, rectWidth);
        } else {
            addParagraphs(layout, lpchText, length, prefixes, (flags & DT_WORDBREAK) != 0,
                          rectWidth);
        }
        std::vector<Line>& lines = layout.lines;
        if (flags & DT_END_ELLIPSIS) {
            layout.ellipsize(lines.back(), rectWidth);
        }

        const long long lineHeight =
            metrics.tmHeight + (flags & DT_EXTERNALLEADING ? metrics.tmExternalLeading : 0);
        long long y = rect.top;
        long long height = lineHeight * static_cast<long long>(lines.size());
        if (single && (flags & (DT_VCENTER | DT_BOTTOM))) {
            y = flags & DT_VCENTER ? rect.top + (rectHeight - lineHeight) / 2
                                   : rect.bottom - lineHeight;
            height = y + lineHeight - rect.top;
        }
        const int result = static_cast<int>(std::clamp<long long>(height, INT_MIN, INT_MAX));
        if (flags & DT_CALCRECT) {
            long long widest = 0;
            for (const Line& line : lines) {
                widest = std::max(widest, line.width);
            }
            lprc->right = clampLong(rect.left + widest);
            lprc->bottom = clampLong(rect.top + height);
            return result;
        }

        DrawTarget target;
        if (!dc.target(target)) {
            return 0;
        }
        RECT clip = target.clip;
        if (!(flags & DT_NOCLIP)) {
            clip = intersect(clip, target.toSurface(rect.left, rect.top, rect.right, rect.bottom));
        }
        const bool underlinePrefix = (flags & DT_HIDEPREFIX) == 0;
        for (const Line& line : lines) {
            // Lines wholly above or below the clip (with a line's room for ink past the cell)
            // are not drawn.
            const long long surfaceY = y + target.origin.y;
            if (surfaceY - metrics.tmHeight >= clip.bottom) {
                break;
            }
            if (surfaceY + 2 * metrics.tmHeight > clip.top) {
                long long x = rect.left;
                if (flags & DT_CENTER) {
                    x += (rectWidth - line.width) / 2;
                } else if (flags & DT_RIGHT) {
                    x = rect.right - line.width;
                }
                const INT* dx = line.dx.empty() ? nullptr : line.dx.data();
                drawRun(dc, target, *font, x, y, line.text.data(), line.text.size(), dx, line.width,
                        clip);
                if (line.prefix >= 0 && underlinePrefix) {
                    const auto at = static_cast<std::size_t>(line.prefix);
                    const char* p = line.text.data() + at;
                    nextUtf8(p, line.text.data() + line.text.size());
                    const std::size_t bytes = static_cast<std::size_t>(p - line.text.data()) - at;
                    const long long from =
                        x + runWidth(*font, line.text.data(), at, dx, dc.state.charExtra);
                    const long long to = from + runWidth(*font, line.text.data() + at, bytes,
                                                         dx ? dx + at : nullptr, 0);
                    const long long lineTop = y + font->underlineTop();
                    fillLogical(target, from, lineTop, to, lineTop + font->underlineHeight(),
                                dc.state.textColor, clip);
                }
            }
            y += lineHeight;
        }
        return result;
    });
}

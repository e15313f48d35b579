// Which font file shows a logical font: the usual Windows face names map to metric-compatible
// free families (Liberation, with DejaVu where nothing else fits), and fontconfig picks the
// file of the wanted weight and slant from a configuration of the layer's own that holds only
// the project's font files, so that text renders alike on every machine. Callers hold the
// layer's lock (gdi/lock.h).
#pragma once

#include <korutil/platform/gdi.h>

#include <string>

namespace korutil::detail {

struct FontFile {
    std::string path;
    int index = 0;
    std::string family; // as the file names it, e.g. "Liberation Sans"
    bool bold = false;
    bool italic = false;
};

// The file for a logical font's face name (or, without a known name, its pitch and family),
// weight and italic flag. False when none of the project's font files can be read.
bool matchFont(const LOGFONTA& font, FontFile& out);

// The file that supplies characters the chosen family lacks: another family of the same kind,
// in the logical font's weight and slant. False when there is none.
bool fallbackFont(const FontFile& primary, const LOGFONTA& font, FontFile& out);

} // namespace korutil::detail

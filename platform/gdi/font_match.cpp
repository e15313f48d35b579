#include "gdi/font_match.h"

#include <fontconfig/fontconfig.h>

#include <cstring>
#include <memory>
#include <strings.h>
#include <vector>

namespace korutil::detail {
namespace {

// The files of Debian's fonts-liberation2 and fonts-dejavu-core, and nothing else: no system
// or user configuration, no other installed font.
const char* const kFontFiles[] = {
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Italic.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-BoldItalic.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSerif-Bold.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSerif-Italic.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSerif-BoldItalic.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationMono-Bold.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationMono-Italic.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationMono-BoldItalic.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",
};

const char* const kSans[] = {"Liberation Sans", "DejaVu Sans", nullptr};
const char* const kSerif[] = {"Liberation Serif", "DejaVu Serif", nullptr};
const char* const kMono[] = {"Liberation Mono", "DejaVu Sans Mono", nullptr};
// Verdana's wide letters are closer to DejaVu Sans than to Liberation Sans.
const char* const kWideSans[] = {"DejaVu Sans", "Liberation Sans", nullptr};
const char* const kSerifDejaVu[] = {"DejaVu Serif", "Liberation Serif", nullptr};
const char* const kMonoDejaVu[] = {"DejaVu Sans Mono", "Liberation Mono", nullptr};

struct FaceAlias {
    const char* name;
    const char* const* families;
};

// Windows' bitmap faces (MS Sans Serif, System, Fixedsys, Terminal) get the outline family of
// their kind; the dialog faces stand for Microsoft Sans Serif and Tahoma, drawn in the sans.
const FaceAlias kAliases[] = {
    {"Arial", kSans},
    {"Helvetica", kSans},
    {"MS Sans Serif", kSans},
    {"Microsoft Sans Serif", kSans},
    {"MS Shell Dlg", kSans},
    {"MS Shell Dlg 2", kSans},
    {"Tahoma", kSans},
    {"System", kSans},
    {"Liberation Sans", kSans},
    {"Verdana", kWideSans},
    {"DejaVu Sans", kWideSans},
    {"Times New Roman", kSerif},
    {"Times", kSerif},
    {"MS Serif", kSerif},
    {"Liberation Serif", kSerif},
    {"DejaVu Serif", kSerifDejaVu},
    {"Courier New", kMono},
    {"Courier", kMono},
    {"Fixedsys", kMono},
    {"Terminal", kMono},
    {"Lucida Console", kMono},
    {"Liberation Mono", kMono},
    {"DejaVu Sans Mono", kMonoDejaVu},
};

const char* const kDejaVuSans[] = {"DejaVu Sans", nullptr};
const char* const kDejaVuSerif[] = {"DejaVu Serif", nullptr};
const char* const kDejaVuMono[] = {"DejaVu Sans Mono", nullptr};

struct Fallback {
    const char* family;
    const char* const* fallback;
};

const Fallback kFallbacks[] = {
    {"Liberation Sans", kDejaVuSans},
    {"Liberation Serif", kDejaVuSerif},
    {"Liberation Mono", kDejaVuMono},
};

// Every list of families that a logical font can ask for.
const char* const* const kLists[] = {kSans,       kSerif,       kMono,
                                     kWideSans,   kSerifDejaVu, kMonoDejaVu,
                                     kDejaVuSans, kDejaVuSerif, kDejaVuMono};

struct Choice {
    const char* const* families;
    bool bold;
    bool italic;
    bool found;
    FontFile file;
};

bool match(FcConfig* config, const char* const* families, bool bold, bool italic, FontFile& out) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) {
        return false;
    }
    for (const char* const* family = families; *family; ++family) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(*family));
    }
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    // A language of our own, so that the user's locale cannot change the choice.
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("en"));
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    // Held so that it goes also when copying its strings runs out of memory.
    const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> found(
        FcFontMatch(config, pattern, &result), FcPatternDestroy);
    FcPatternDestroy(pattern);
    if (!found) {
        return false;
    }
    FcChar8* file = nullptr;
    FcChar8* family = nullptr;
    int index = 0;
    int weight = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
    const bool ok = FcPatternGetString(found.get(), FC_FILE, 0, &file) == FcResultMatch &&
                    FcPatternGetString(found.get(), FC_FAMILY, 0, &family) == FcResultMatch;
    if (ok) {
        FcPatternGetInteger(found.get(), FC_INDEX, 0, &index);
        FcPatternGetInteger(found.get(), FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(found.get(), FC_SLANT, 0, &slant);
        out.path = reinterpret_cast<const char*>(file);
        out.family = reinterpret_cast<const char*>(family);
        out.index = index;
        out.bold = weight >= FC_WEIGHT_DEMIBOLD;
        out.italic = slant != FC_SLANT_ROMAN;
    }
    return ok;
}

// fontconfig's answer for every list of families and style, asked once from a configuration
// that holds only the project's font files and is destroyed afterwards, so that no fontconfig
// state outlives the set-up. Kept for the life of the process.
const std::vector<Choice>& choices() {
    static const std::vector<Choice>* const table = [] {
        auto made = std::make_unique<std::vector<Choice>>();
        const std::unique_ptr<FcConfig, decltype(&FcConfigDestroy)> config(FcConfigCreate(),
                                                                           FcConfigDestroy);
        if (!config) {
            return made.release();
        }
        bool any = false;
        for (const char* file : kFontFiles) {
            any =
                FcConfigAppFontAddFile(config.get(), reinterpret_cast<const FcChar8*>(file)) || any;
        }
        for (const char* const* families : kLists) {
            for (const bool bold : {false, true}) {
                for (const bool italic : {false, true}) {
                    Choice choice{families, bold, italic, false, FontFile{}};
                    choice.found = any && match(config.get(), families, bold, italic, choice.file);
                    made->push_back(std::move(choice));
                }
            }
        }
        return made.release();
    }();
    return *table;
}

const char* const* familiesFor(const LOGFONTA& font) {
    const std::size_t length = strnlen(font.lfFaceName, LF_FACESIZE);
    const std::string face(font.lfFaceName, length);
    for (const FaceAlias& alias : kAliases) {
        if (strcasecmp(alias.name, face.c_str()) == 0) {
            return alias.families;
        }
    }
    // No known name: the pitch and family decide, as the Windows font mapper does.
    const int family = font.lfPitchAndFamily & 0xF0;
    if ((font.lfPitchAndFamily & 0x03) == FIXED_PITCH || family == FF_MODERN) {
        return kMono;
    }
    if (family == FF_ROMAN) {
        return kSerif;
    }
    return kSans;
}

bool lookUp(const char* const* families, bool bold, bool italic, FontFile& out) {
    for (const Choice& choice : choices()) {
        if (choice.families == families && choice.bold == bold && choice.italic == italic) {
            out = choice.file;
            return choice.found;
        }
    }
    return false;
}

} // namespace

bool matchFont(const LOGFONTA& font, FontFile& out) {
    return lookUp(familiesFor(font), font.lfWeight >= FW_SEMIBOLD, font.lfItalic != 0, out);
}

bool fallbackFont(const FontFile& primary, const LOGFONTA& font, FontFile& out) {
    for (const Fallback& entry : kFallbacks) {
        if (primary.family == entry.family) {
            return lookUp(entry.fallback, font.lfWeight >= FW_SEMIBOLD, font.lfItalic != 0, out) &&
                   out.family == entry.fallback[0];
        }
    }
    return false;
}

} // namespace korutil::detail

// The document model of an INI file for the private-profile calls: the file's lines as
// written, each a section header, a key or anything else (comments, blank lines, lines the
// reader ignores), so that a write changes only the lines it must and keeps comments, order
// and line ends. Names compare without case (case_fold.h); blanks around names and values are
// dropped and one pair of quotes around a value is dropped on reading, as on Windows. A
// document is a value: the cache shares immutable ones between threads.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korutil::detail {

// `s` without the blanks that the reader drops around names and values.
std::string_view trimBlanks(std::string_view s);

// One WritePrivateProfileStringA, its names without blanks around them: no key deletes the
// section, no value deletes the key.
struct ProfileWrite {
    std::string section;
    std::optional<std::string> key;
    std::optional<std::string> value;
};

// Names and values that read back as written. A section name must not hold `]` or a line
// break; a key must not hold `=` or a line break, nor start with `;` (a comment) or `[` (a
// section header); a value must not hold a line break; names must not be blank.
bool readsBackAsSection(std::string_view section);
bool readsBackAsKey(std::string_view key);
bool readsBackAsValue(std::string_view value);

class IniDocument {
public:
    static IniDocument parse(std::string_view content);
    std::string serialize() const;

    // The value of a key (in the first section of that name), null when there is none.
    const std::string* value(std::string_view section, std::string_view key) const;
    // Every section header's name, in file order.
    std::vector<std::string> sectionNames() const;
    // The keys of the first section of that name, in file order.
    std::vector<std::string> keyNames(std::string_view section) const;

    // Applies one write whose names read back; false when the document did not change.
    bool apply(const ProfileWrite& write);

private:
    struct Line {
        enum Kind { Other, Section, Key } kind = Other;
        std::string text;
        std::string name;  // trimmed
        std::string value; // trimmed, one pair of quotes dropped
    };
    static Line parseLine(std::string text);
    std::size_t findSection(std::string_view section) const;
    std::size_t sectionEnd(std::size_t header) const;
    std::size_t findKey(std::size_t header, std::string_view key) const;

    std::vector<Line> m_lines;
    bool m_crlf = false;
};

} // namespace korutil::detail

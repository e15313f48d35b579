#include "kernel/ini_document.h"

#include "kernel/case_fold.h"

namespace korutil::detail {
namespace {

constexpr std::size_t npos = std::string::npos;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool isQuote(char c) {
    return c == '"' || c == '\'';
}

bool quoted(std::string_view value) {
    return value.size() >= 2 && isQuote(value.front()) && value.back() == value.front();
}

bool hasAny(std::string_view s, std::string_view chars) {
    return s.find_first_of(chars) != std::string_view::npos;
}

// The text after `=` that reads back as `value`: the reader drops blanks at the ends and one
// pair of quotes, so a value that has either gets a pair of quotes of its own.
std::string storedValue(std::string_view value) {
    if (!value.empty() && (isBlank(value.front()) || isBlank(value.back()) || quoted(value))) {
        std::string text;
        text.reserve(value.size() + 2);
        text += '"';
        text += value;
        text += '"';
        return text;
    }
    return std::string(value);
}

} // namespace

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool readsBackAsSection(std::string_view section) {
    return !trimBlanks(section).empty() && !hasAny(section, "]\r\n");
}

bool readsBackAsKey(std::string_view key) {
    const std::string_view name = trimBlanks(key);
    return !name.empty() && name.front() != ';' && name.front() != '[' && !hasAny(key, "=\r\n");
}

bool readsBackAsValue(std::string_view value) {
    return !hasAny(value, "\r\n");
}

IniDocument::Line IniDocument::parseLine(std::string text) {
    Line line;
    const std::string_view t = trimBlanks(text);
    if (!t.empty() && t[0] == '[') {
        line.kind = Line::Section;
        const std::size_t close = t.find(']');
        line.name = trimBlanks(t.substr(1, close == npos ? npos : close - 1));
    } else if (!t.empty() && t[0] != ';') {
        const std::size_t eq = t.find('=');
        if (eq != npos) {
            line.kind = Line::Key;
            line.name = trimBlanks(t.substr(0, eq));
            std::string_view value = trimBlanks(t.substr(eq + 1));
            if (quoted(value)) {
                value = value.substr(1, value.size() - 2);
            }
            line.value = value;
        }
    }
    line.text = std::move(text);
    return line;
}

IniDocument IniDocument::parse(std::string_view content) {
    IniDocument doc;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t end = content.find('\n', pos);
        if (end == npos) {
            end = content.size();
        }
        std::string_view text = content.substr(pos, end - pos);
        if (!text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
            doc.m_crlf = true;
        }
        doc.m_lines.push_back(parseLine(std::string(text)));
        pos = end + 1;
    }
    return doc;
}

std::string IniDocument::serialize() const {
    const std::string_view eol = m_crlf ? "\r\n" : "\n";
    std::size_t size = 0;
    for (const Line& line : m_lines) {
        size += line.text.size() + eol.size();
    }
    std::string out;
    out.reserve(size);
    for (const Line& line : m_lines) {
        out += line.text;
        out += eol;
    }
    return out;
}

std::size_t IniDocument::findSection(std::string_view section) const {
    section = trimBlanks(section);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Line::Section && sameWithoutCase(m_lines[i].name, section)) {
            return i;
        }
    }
    return npos;
}

std::size_t IniDocument::sectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < m_lines.size() && m_lines[i].kind != Line::Section) {
        ++i;
    }
    return i;
}

std::size_t IniDocument::findKey(std::size_t header, std::string_view key) const {
    key = trimBlanks(key);
    for (std::size_t i = header + 1; i < m_lines.size() && m_lines[i].kind != Line::Section; ++i) {
        if (m_lines[i].kind == Line::Key && sameWithoutCase(m_lines[i].name, key)) {
            return i;
        }
    }
    return npos;
}

const std::string* IniDocument::value(std::string_view section, std::string_view key) const {
    const std::size_t header = findSection(section);
    const std::size_t at = header == npos ? npos : findKey(header, key);
    return at == npos ? nullptr : &m_lines[at].value;
}

std::vector<std::string> IniDocument::sectionNames() const {
    std::vector<std::string> names;
    for (const Line& line : m_lines) {
        if (line.kind == Line::Section) {
            names.push_back(line.name);
        }
    }
    return names;
}

std::vector<std::string> IniDocument::keyNames(std::string_view section) const {
    std::vector<std::string> names;
    const std::size_t header = findSection(section);
    if (header != npos) {
        const std::size_t end = sectionEnd(header);
        for (std::size_t i = header + 1; i < end; ++i) {
            if (m_lines[i].kind == Line::Key) {
                names.push_back(m_lines[i].name);
            }
        }
    }
    return names;
}

bool IniDocument::apply(const ProfileWrite& write) {
    const auto at = [this](std::size_t i) {
        return m_lines.begin() + static_cast<std::ptrdiff_t>(i);
    };
    if (!write.key) {
        bool changed = false;
        for (std::size_t h = findSection(write.section); h != npos;
             h = findSection(write.section)) {
            m_lines.erase(at(h), at(sectionEnd(h)));
            changed = true;
        }
        return changed;
    }
    const std::size_t header = findSection(write.section);
    const std::size_t found = header == npos ? npos : findKey(header, *write.key);
    if (!write.value) {
        if (found == npos) {
            return false;
        }
        m_lines.erase(at(found));
        return true;
    }
    const std::string stored = storedValue(*write.value);
    if (found != npos) {
        Line& line = m_lines[found];
        std::string text = line.name + "=" + stored;
        if (text == line.text) {
            return false;
        }
        line = parseLine(std::move(text));
        return true;
    }
    Line entry = parseLine(std::string(trimBlanks(*write.key)) + "=" + stored);
    if (header == npos) {
        if (!m_lines.empty() && !trimBlanks(m_lines.back().text).empty()) {
            m_lines.push_back(parseLine(std::string()));
        }
        m_lines.push_back(parseLine("[" + std::string(trimBlanks(write.section)) + "]"));
        m_lines.push_back(std::move(entry));
        return true;
    }
    // New keys go after the section's last key, ahead of blank lines and trailing comments.
    std::size_t insertAt = header + 1;
    const std::size_t end = sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (m_lines[i].kind == Line::Key) {
            insertAt = i + 1;
        }
    }
    m_lines.insert(at(insertAt), std::move(entry));
    return true;
}

} // namespace korutil::detail

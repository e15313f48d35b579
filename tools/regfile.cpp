#include "regfile.h"

#include <korutil/settings.h>

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace korutil::regfile {
namespace {

struct Root {
    const char* name;
    const char* shortName;
    HKEY key;
};

const Root kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", "HKU", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG},
};

// Quoted text as regedit writes it (\\ and \"), and line breaks as \n and \r, which value
// names and classes may hold and a line may not.
std::string quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n' || c == '\r') {
            out += c == '\n' ? "\\n" : "\\r";
            continue;
        }
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

// A REG_SZ that regedit's quoted form carries exactly: one final zero and no line breaks.
bool plainText(DWORD type, const BYTE* data, DWORD size) {
    if (type != REG_SZ || size == 0 || data[size - 1] != 0) {
        return false;
    }
    for (DWORD i = 0; i + 1 < size; ++i) {
        if (data[i] == 0 || data[i] == '\r' || data[i] == '\n') {
            return false;
        }
    }
    return true;
}

class Text {
public:
    explicit Text(const std::string& all) : m_all(all) {}
    // The next line without its end; false at the end of the text.
    bool next(std::string& line) {
        if (m_pos >= m_all.size()) {
            return false;
        }
        std::size_t end = m_all.find('\n', m_pos);
        if (end == std::string::npos) {
            end = m_all.size();
        }
        line = m_all.substr(m_pos, end - m_pos);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        m_pos = end + 1;
        ++m_line;
        return true;
    }
    int lineNumber() const { return m_line; }

private:
    const std::string& m_all;
    std::size_t m_pos = 0;
    int m_line = 0;
};

std::string trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) {
        return std::string();
    }
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// Reads a quoted string at text[pos] (on the opening quote); pos ends after the closing one.
bool unquote(const std::string& text, std::size_t& pos, std::string& out) {
    out.clear();
    if (pos >= text.size() || text[pos] != '"') {
        return false;
    }
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < text.size()) {
            c = text[++pos];
            c = c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        }
        out += c;
    }
    return false;
}

bool parseHexBytes(const std::string& text, std::vector<BYTE>& out) {
    out.clear();
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == ',')) {
            ++pos;
        }
        if (pos >= text.size()) {
            break;
        }
        char* end = nullptr;
        const std::string digits = text.substr(pos, 2);
        const unsigned long b = std::strtoul(digits.c_str(), &end, 16);
        if (end != digits.c_str() + digits.size() || digits.size() != 2) {
            return false;
        }
        out.push_back(static_cast<BYTE>(b));
        pos += 2;
        if (pos < text.size() && text[pos] != ',' && text[pos] != ' ' && text[pos] != '\t') {
            return false;
        }
    }
    return true;
}

// A key with its class, created when its first value or the next header comes along.
struct PendingKey {
    std::string path;
    std::string cls;
    bool open = false;
    HKEY handle = nullptr;
};

LONG openPending(PendingKey& key) {
    if (key.handle || key.path.empty()) {
        return ERROR_SUCCESS;
    }
    HKEY root = nullptr;
    std::string sub;
    if (!splitRoot(key.path, root, sub)) {
        return ERROR_BAD_PATHNAME;
    }
    return RegCreateKeyExA(root, sub.c_str(), 0, const_cast<LPSTR>(key.cls.c_str()), 0,
                           KEY_ALL_ACCESS, nullptr, &key.handle, nullptr);
}

void closePending(PendingKey& key) {
    if (key.handle) {
        RegCloseKey(key.handle);
    }
    key = PendingKey();
}

// The header, class and values of one key, with buffers as large as the key's longest
// name, class and data.
LONG exportKeyText(HKEY key, const std::string& path, std::string& text, DWORD& maxSubKey) {
    DWORD classSize = 0;
    DWORD maxName = 0;
    DWORD maxData = 0;
    LONG status = RegQueryInfoKeyA(key, nullptr, &classSize, nullptr, nullptr, &maxSubKey, nullptr,
                                   nullptr, &maxName, &maxData, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<char> cls(classSize + 1);
    classSize = static_cast<DWORD>(cls.size());
    status = RegQueryInfoKeyA(key, cls.data(), &classSize, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    text += "\n[" + path + "]\n";
    if (classSize) {
        text += ";@class=" + quote(std::string(cls.data(), classSize)) + "\n";
    }
    std::vector<char> name(maxName + 1);
    std::vector<BYTE> data(maxData + 1);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        status =
            RegEnumValueA(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        text += valueLine(std::string(name.data(), nameSize), type, data.data(), dataSize) + "\n";
    }
}

// The key and everything below it, in name order, walked with a stack of open keys so that
// no depth of tree exhausts the program's own stack.
LONG exportTree(HKEY top, const std::string& topPath, std::string& text) {
    struct Level {
        HKEY key;
        std::string path;
        std::vector<char> sub;
        DWORD next;
    };
    std::vector<Level> levels;
    DWORD maxSubKey = 0;
    LONG status = exportKeyText(top, topPath, text, maxSubKey);
    levels.push_back(Level{top, topPath, std::vector<char>(maxSubKey + 1), 0});
    while (status == ERROR_SUCCESS && !levels.empty()) {
        Level& level = levels.back();
        status = RegEnumKeyA(level.key, level.next++, level.sub.data(),
                             static_cast<DWORD>(level.sub.size()));
        if (status == ERROR_NO_MORE_ITEMS) {
            if (levels.size() > 1) {
                RegCloseKey(level.key);
            }
            levels.pop_back();
            status = ERROR_SUCCESS;
            continue;
        }
        HKEY child = nullptr;
        if (status != ERROR_SUCCESS ||
            (status = RegOpenKeyExA(level.key, level.sub.data(), 0, KEY_READ, &child)) !=
                ERROR_SUCCESS) {
            break;
        }
        const std::string path = level.path + "\\" + level.sub.data();
        status = exportKeyText(child, path, text, maxSubKey);
        levels.push_back(Level{child, path, std::vector<char>(maxSubKey + 1), 0});
    }
    for (std::size_t i = 1; i < levels.size(); ++i) {
        RegCloseKey(levels[i].key);
    }
    return status;
}

LONG applyText(const std::string& all, std::string& error);

} // namespace

bool splitRoot(const std::string& path, HKEY& root, std::string& subPath) {
    const std::size_t slash = path.find('\\');
    const std::string head = path.substr(0, slash);
    for (const Root& r : kRoots) {
        if (strcasecmp(head.c_str(), r.name) == 0 || strcasecmp(head.c_str(), r.shortName) == 0) {
            root = r.key;
            subPath = slash == std::string::npos ? std::string() : path.substr(slash + 1);
            return true;
        }
    }
    return false;
}

std::string valueLine(const std::string& name, DWORD type, const BYTE* data, DWORD size) {
    std::string line = name.empty() ? "@=" : quote(name) + "=";
    if (plainText(type, data, size)) {
        return line + quote(std::string(reinterpret_cast<const char*>(data), size - 1));
    }
    char buffer[32];
    if (type == REG_DWORD && size == 4) {
        const DWORD value = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
                            static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
        std::snprintf(buffer, sizeof buffer, "dword:%08x", value);
        return line + buffer;
    }
    if (type == REG_BINARY) {
        line += "hex:";
    } else {
        std::snprintf(buffer, sizeof buffer, "hex(%x):", type);
        line += buffer;
    }
    // Long data continues on indented lines, as regedit writes it.
    std::size_t width = line.size();
    for (DWORD i = 0; i < size; ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x%s", data[i], i + 1 < size ? "," : "");
        if (width + 3 > 77 && i + 1 < size) {
            line += "\\\n  ";
            width = 2;
        }
        line += buffer;
        width += 3;
    }
    return line;
}

LONG exportKey(const std::string& path, std::string& text) {
    HKEY root = nullptr;
    std::string sub;
    if (!splitRoot(path, root, sub)) {
        return ERROR_BAD_PATHNAME;
    }
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(root, sub.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // Headers carry the root's full name, whatever form the caller used.
    std::string full;
    for (const Root& r : kRoots) {
        if (r.key == root) {
            full = r.name;
        }
    }
    if (!sub.empty()) {
        full += "\\" + sub;
    }
    while (!full.empty() && full.back() == '\\') {
        full.pop_back();
    }
    status = exportTree(key, full, text);
    RegCloseKey(key);
    return status;
}

LONG importText(const std::string& all, std::string& error) {
    // All of the file or nothing: one group, undone when any line fails.
    const LONG begun = PlatRegBeginGroup();
    if (begun != ERROR_SUCCESS) {
        error = "cannot begin the import";
        return begun;
    }
    const LONG status = applyText(all, error);
    const LONG ended = PlatRegEndGroup(status == ERROR_SUCCESS);
    if (status == ERROR_SUCCESS && ended != ERROR_SUCCESS) {
        error = "cannot commit the import";
        return ended;
    }
    return status;
}

namespace {

LONG applyText(const std::string& all, std::string& error) {
    Text text(all);
    std::string line;
    const auto fail = [&](LONG status, const std::string& why) {
        error = "line " + std::to_string(text.lineNumber()) + ": " + why;
        return status;
    };
    while (text.next(line) && trim(line).empty()) {
    }
    line = trim(line);
    if (line != "REGEDIT4" && line != "Windows Registry Editor Version 5.00") {
        return fail(ERROR_INVALID_DATA, "not a registry file (REGEDIT4 expected)");
    }
    PendingKey key;
    LONG status = ERROR_SUCCESS;
    while (status == ERROR_SUCCESS && text.next(line)) {
        line = trim(line);
        if (line.empty()) {
            continue;
        }
        if (line.compare(0, 8, ";@class=") == 0) {
            std::size_t pos = 8;
            if (key.path.empty() || key.handle || !unquote(line, pos, key.cls)) {
                return fail(ERROR_INVALID_DATA, "misplaced class line");
            }
            continue;
        }
        if (line[0] == ';') {
            continue;
        }
        if (line[0] == '[') {
            status = openPending(key);
            closePending(key);
            if (status != ERROR_SUCCESS) {
                return fail(status, "cannot create the key");
            }
            const std::size_t close = line.rfind(']');
            if (close == std::string::npos || close < 2) {
                return fail(ERROR_INVALID_DATA, "bad key header");
            }
            if (line[1] == '-') {
                HKEY root = nullptr;
                std::string sub;
                const std::string path = line.substr(2, close - 2);
                if (!splitRoot(path, root, sub) || sub.empty()) {
                    return fail(ERROR_BAD_PATHNAME, "cannot delete " + path);
                }
                status = static_cast<LONG>(CRegKeyBase::RegDeleteKeyAll(root, sub.c_str()));
                if (status == ERROR_FILE_NOT_FOUND) {
                    status = ERROR_SUCCESS; // already gone
                }
                if (status != ERROR_SUCCESS) {
                    return fail(status, "cannot delete " + path);
                }
                continue;
            }
            key.path = line.substr(1, close - 1);
            HKEY root = nullptr;
            std::string sub;
            if (!splitRoot(key.path, root, sub)) {
                return fail(ERROR_BAD_PATHNAME, "unknown root in " + key.path);
            }
            continue;
        }
        // A value: "name" or @, '=', then the data.
        if (key.path.empty()) {
            return fail(ERROR_INVALID_DATA, "value outside a key");
        }
        std::string name;
        std::size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!unquote(line, pos, name)) {
            return fail(ERROR_INVALID_DATA, "bad value name");
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
            ++pos;
        }
        if (pos >= line.size() || line[pos] != '=') {
            return fail(ERROR_INVALID_DATA, "'=' expected");
        }
        std::string data = trim(line.substr(pos + 1));
        if ((status = openPending(key)) != ERROR_SUCCESS) {
            return fail(status, "cannot create the key");
        }
        if (data == "-") {
            status = RegDeleteValueA(key.handle, name.c_str());
            if (status == ERROR_FILE_NOT_FOUND) {
                status = ERROR_SUCCESS;
            }
            continue;
        }
        if (!data.empty() && data[0] == '"') {
            std::string value;
            std::size_t at = 0;
            if (!unquote(data, at, value) || at != data.size()) {
                return fail(ERROR_INVALID_DATA, "bad string");
            }
            status = RegSetValueExA(key.handle, name.c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(value.c_str()),
                                    static_cast<DWORD>(value.size() + 1));
            continue;
        }
        if (data.compare(0, 6, "dword:") == 0) {
            char* end = nullptr;
            const std::string digits = data.substr(6);
            const unsigned long long v = std::strtoull(digits.c_str(), &end, 16);
            if (digits.empty() || digits.size() > 8 || *end) {
                return fail(ERROR_INVALID_DATA, "bad dword");
            }
            const BYTE bytes[4] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8),
                                   static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 24)};
            status = RegSetValueExA(key.handle, name.c_str(), 0, REG_DWORD, bytes, 4);
            continue;
        }
        DWORD type = REG_BINARY;
        std::size_t colon = std::string::npos;
        if (data.compare(0, 4, "hex:") == 0) {
            colon = 3;
        } else if (data.compare(0, 4, "hex(") == 0) {
            const std::size_t close = data.find("):");
            char* end = nullptr;
            const std::string digits = data.substr(4, close == std::string::npos ? 0 : close - 4);
            type = static_cast<DWORD>(std::strtoul(digits.c_str(), &end, 16));
            if (digits.empty() || digits.size() > 8 || *end) {
                return fail(ERROR_INVALID_DATA, "bad hex(n) type");
            }
            colon = close + 1;
        } else {
            return fail(ERROR_INVALID_DATA, "unknown value format");
        }
        std::string hex = data.substr(colon + 1);
        while (!hex.empty() && hex.back() == '\\') {
            hex.pop_back();
            std::string more;
            if (!text.next(more)) {
                return fail(ERROR_INVALID_DATA, "hex data ends early");
            }
            hex += trim(more);
        }
        std::vector<BYTE> bytes;
        if (!parseHexBytes(hex, bytes)) {
            return fail(ERROR_INVALID_DATA, "bad hex data");
        }
        status = RegSetValueExA(key.handle, name.c_str(), 0, type, bytes.data(),
                                static_cast<DWORD>(bytes.size()));
    }
    if (status != ERROR_SUCCESS) {
        closePending(key);
        return fail(status, "cannot set the value");
    }
    status = openPending(key);
    closePending(key);
    return status == ERROR_SUCCESS ? status : fail(status, "cannot create the key");
}

} // namespace

} // namespace korutil::regfile

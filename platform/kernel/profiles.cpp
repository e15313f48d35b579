#include "kernel/file_object.h"
#include "kernel/no_throw.h"
#include <korutil/platform/errors.h>
#include <korutil/platform/profiles.h>

#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// One line of an INI file. Lines keep their original text so that a write changes only the
// lines it must; name and value are the parsed, trimmed parts.
struct Line {
    enum Kind { Other, Section, Key } kind = Other;
    std::string text;
    std::string name;
    std::string value;
};

struct Document {
    std::vector<Line> lines;
    bool crlf = false;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isBlank(s[b])) {
        ++b;
    }
    while (e > b && isBlank(s[e - 1])) {
        --e;
    }
    return s.substr(b, e - b);
}

bool sameName(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

// A byte count that does not end inside a UTF-8 sequence.
std::size_t utf8Cut(const char* s, std::size_t length, std::size_t limit) {
    if (length <= limit) {
        return length;
    }
    std::size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) {
        --n;
    }
    return n;
}

Line parseLine(std::string text) {
    Line line;
    const std::string t = trim(text);
    if (!t.empty() && t[0] == '[') {
        line.kind = Line::Section;
        const std::size_t close = t.find(']');
        line.name = trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    } else if (!t.empty() && t[0] != ';') {
        const std::size_t eq = t.find('=');
        if (eq != std::string::npos) {
            line.kind = Line::Key;
            line.name = trim(t.substr(0, eq));
            line.value = trim(t.substr(eq + 1));
        }
    }
    line.text = std::move(text);
    return line;
}

Document parse(const std::string& content) {
    Document doc;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t end = content.find('\n', pos);
        if (end == std::string::npos) {
            end = content.size();
        }
        std::string text = content.substr(pos, end - pos);
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
            doc.crlf = true;
        }
        doc.lines.push_back(parseLine(std::move(text)));
        pos = end + 1;
    }
    return doc;
}

std::string serialize(const Document& doc) {
    std::string out;
    const char* eol = doc.crlf ? "\r\n" : "\n";
    for (const Line& line : doc.lines) {
        out += line.text;
        out += eol;
    }
    return out;
}

// Index of the first header of the section, or npos.
std::size_t findSection(const Document& doc, const char* section) {
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        if (doc.lines[i].kind == Line::Section && sameName(doc.lines[i].name, section)) {
            return i;
        }
    }
    return std::string::npos;
}

// One past the last line that belongs to the section whose header is at `header`.
std::size_t sectionEnd(const Document& doc, std::size_t header) {
    std::size_t i = header + 1;
    while (i < doc.lines.size() && doc.lines[i].kind != Line::Section) {
        ++i;
    }
    return i;
}

std::size_t findKey(const Document& doc, std::size_t header, const char* key) {
    const std::size_t end = sectionEnd(doc, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (doc.lines[i].kind == Line::Key && sameName(doc.lines[i].name, key)) {
            return i;
        }
    }
    return std::string::npos;
}

std::string configHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/.config";
}

bool hasDirectory(const std::string& name) {
    return name.find('/') != std::string::npos;
}

std::string resolvePath(const char* fileName) {
    const std::string name = korutil::detail::nativePath(fileName);
    return hasDirectory(name) ? name : configHome() + "/" + name;
}

// The file layer's codes, seen from a write: a missing piece of the path is a missing
// directory, and what the file layer cannot name is a write fault.
DWORD errorFromErrno(int e) {
    if (e == ENOENT) {
        return ERROR_PATH_NOT_FOUND;
    }
    const DWORD error = korutil::detail::windowsError(e, std::string());
    return error == ERROR_INVALID_FUNCTION ? ERROR_WRITE_FAULT : error;
}

bool readAll(int fd, std::string& out) {
    out.clear();
    char chunk[8192];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return true;
        }
        out.append(chunk, static_cast<std::size_t>(n));
    }
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The parsed files of this process, each with the identity of the file it was parsed from.
// A writer replaces the file by a new one, so a changed inode, size or time stamp means
// the file changed on disk and must be parsed again.
struct Stamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};

    explicit Stamp(const struct stat& st)
        : dev(st.st_dev), ino(st.st_ino), size(st.st_size), mtime(st.st_mtim), ctime(st.st_ctim) {}
    bool operator==(const Stamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

struct CacheEntry {
    Stamp stamp;
    std::shared_ptr<const Document> doc;
};

struct Cache {
    std::mutex lock;
    std::unordered_map<std::string, CacheEntry> files;
};

Cache& cache() {
    static Cache* instance = new Cache; // outlives every static destructor
    return *instance;
}

constexpr std::size_t kCacheLimit = 64;

void remember(const std::string& path, const struct stat& st, std::shared_ptr<const Document> doc) {
    Cache& c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.files.size() >= kCacheLimit && c.files.find(path) == c.files.end()) {
        c.files.clear();
    }
    c.files.insert_or_assign(path, CacheEntry{Stamp(st), std::move(doc)});
}

// The current content of the file, parsed, or null when it cannot be read.
std::shared_ptr<const Document> loadForRead(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return nullptr;
    }
    {
        Cache& c = cache();
        std::lock_guard<std::mutex> guard(c.lock);
        auto it = c.files.find(path);
        if (it != c.files.end() && it->second.stamp == Stamp(st)) {
            return it->second.doc;
        }
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    std::string content;
    const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && readAll(fd, content);
    close(fd);
    if (!ok) {
        return nullptr;
    }
    auto doc = std::make_shared<const Document>(parse(content));
    remember(path, st, doc);
    return doc;
}

DWORD copyOut(const std::string& text, LPSTR out, DWORD size) {
    if (size == 0 || !out) {
        return 0;
    }
    const std::size_t n = utf8Cut(text.data(), text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return static_cast<DWORD>(n);
}

// A list of zero-terminated names ended by a second zero, cut to the buffer as Windows does.
DWORD copyList(const std::vector<std::string>& names, LPSTR out, DWORD size) {
    if (size == 0 || !out) {
        return 0;
    }
    if (size == 1) {
        out[0] = '\0';
        return 0;
    }
    std::string list;
    for (const std::string& name : names) {
        list += name;
        list += '\0';
    }
    if (list.size() + 1 <= size) {
        std::memcpy(out, list.data(), list.size());
        out[list.size()] = '\0';
        return static_cast<DWORD>(list.size());
    }
    const std::size_t n = utf8Cut(list.data(), list.size(), size - 2);
    std::memcpy(out, list.data(), n);
    out[n] = '\0';
    out[n + 1] = '\0';
    return static_cast<DWORD>(n);
}

std::string unquote(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool hasLineBreak(const char* s) {
    return std::strpbrk(s, "\r\n") != nullptr;
}

bool validName(const char* s, const char* forbidden) {
    return !hasLineBreak(s) && std::strpbrk(s, forbidden) == nullptr && !trim(s).empty();
}

// Applies one write to the document; false when nothing changed.
bool apply(Document& doc, const char* section, const char* key, const char* value) {
    if (!key) {
        bool changed = false;
        for (std::size_t h = findSection(doc, section); h != std::string::npos;
             h = findSection(doc, section)) {
            doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(h),
                            doc.lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd(doc, h)));
            changed = true;
        }
        return changed;
    }
    const std::size_t header = findSection(doc, section);
    const std::size_t at = header == std::string::npos ? header : findKey(doc, header, key);
    if (!value) {
        if (at == std::string::npos) {
            return false;
        }
        doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(at));
        return true;
    }
    if (at != std::string::npos) {
        Line& line = doc.lines[at];
        std::string text = line.name + "=" + value;
        if (text == line.text) {
            return false;
        }
        line = parseLine(std::move(text));
        return true;
    }
    Line entry = parseLine(trim(key) + "=" + value);
    if (header == std::string::npos) {
        if (!doc.lines.empty() && !trim(doc.lines.back().text).empty()) {
            doc.lines.push_back(parseLine(""));
        }
        doc.lines.push_back(parseLine("[" + trim(section) + "]"));
        doc.lines.push_back(std::move(entry));
        return true;
    }
    // New keys go after the section's last key, ahead of blank lines and trailing comments.
    std::size_t insertAt = header + 1;
    const std::size_t end = sectionEnd(doc, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (doc.lines[i].kind == Line::Key) {
            insertAt = i + 1;
        }
    }
    doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
    return true;
}

// Opens the file for a write and takes its exclusive lock. Writers replace the file by
// renaming a new one over it, so a lock won on a file that has been replaced meanwhile is
// given up and taken again on the current one.
int lockCurrent(const std::string& path, struct stat& st) {
    for (;;) {
        const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            return -1;
        }
        int r;
        do {
            r = flock(fd, LOCK_EX);
        } while (r != 0 && errno == EINTR);
        struct stat now;
        if (r != 0 || fstat(fd, &st) != 0) {
            const int e = errno;
            close(fd);
            errno = e;
            return -1;
        }
        if (stat(path.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino) {
            return fd;
        }
        close(fd);
    }
}

// Writes the new content beside the file and renames it over the file: readers see the
// old file or the new one, and a crash leaves one of them whole.
bool replaceFile(const std::string& path, const struct stat& old, const std::string& content,
                 std::shared_ptr<const Document> doc) {
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = dir + "/." + base + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st;
    const bool ok = writeAll(fd, content) && fchmod(fd, old.st_mode & 07777) == 0 &&
                    fsync(fd) == 0 && rename(temp.c_str(), path.c_str()) == 0 &&
                    fstat(fd, &st) == 0;
    const int e = errno;
    if (ok) {
        remember(path, st, std::move(doc));
    } else {
        unlink(temp.c_str());
    }
    close(fd);
    errno = e;
    return ok;
}

bool ensureDirectory(const std::string& dir) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    const std::size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !ensureDirectory(dir.substr(0, slash))) {
        return false;
    }
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

static DWORD getProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                              LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    std::shared_ptr<const Document> doc;
    if (lpFileName && *lpFileName) {
        doc = loadForRead(resolvePath(lpFileName));
    }
    if (!doc) {
        SetLastError(ERROR_FILE_NOT_FOUND);
    }
    if (!lpAppName) {
        std::vector<std::string> names;
        if (doc) {
            for (const Line& line : doc->lines) {
                if (line.kind == Line::Section) {
                    names.push_back(line.name);
                }
            }
        }
        return copyList(names, lpReturnedString, nSize);
    }
    const std::size_t header = doc ? findSection(*doc, trim(lpAppName).c_str()) : std::string::npos;
    if (!lpKeyName) {
        std::vector<std::string> names;
        if (header != std::string::npos) {
            const std::size_t end = sectionEnd(*doc, header);
            for (std::size_t i = header + 1; i < end; ++i) {
                if (doc->lines[i].kind == Line::Key) {
                    names.push_back(doc->lines[i].name);
                }
            }
        }
        return copyList(names, lpReturnedString, nSize);
    }
    const std::size_t at =
        header == std::string::npos ? header : findKey(*doc, header, trim(lpKeyName).c_str());
    if (at != std::string::npos) {
        return copyOut(unquote(doc->lines[at].value), lpReturnedString, nSize);
    }
    std::string def = lpDefault ? lpDefault : "";
    while (!def.empty() && def.back() == ' ') {
        def.pop_back();
    }
    return copyOut(def, lpReturnedString, nSize);
}

static BOOL writeProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                               LPCSTR lpFileName) {
    if (!lpAppName && !lpKeyName && !lpString) {
        return TRUE; // a flush: every write is already on disk
    }
    if (!lpAppName || !lpFileName || !*lpFileName || !validName(lpAppName, "]") ||
        (lpKeyName && !validName(lpKeyName, "=")) || (lpString && hasLineBreak(lpString))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string path = resolvePath(lpFileName);
    struct stat st;
    if ((!lpKeyName || !lpString) && stat(path.c_str(), &st) != 0) {
        return TRUE; // deleting from a file that does not exist changes nothing
    }
    if (!hasDirectory(std::string(lpFileName)) && !ensureDirectory(configHome())) {
        SetLastError(errorFromErrno(errno));
        return FALSE;
    }
    const int fd = lockCurrent(path, st);
    if (fd < 0) {
        SetLastError(errorFromErrno(errno));
        return FALSE;
    }
    // The rename would replace a read-only file as easily as any other; refuse as Windows
    // does for its read-only attribute.
    if ((st.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string content;
    if (!readAll(fd, content)) {
        close(fd);
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    Document doc = parse(content);
    const std::string section = trim(lpAppName);
    const std::string key = lpKeyName ? trim(lpKeyName) : std::string();
    bool ok = true;
    if (apply(doc, section.c_str(), lpKeyName ? key.c_str() : nullptr, lpString)) {
        auto shared = std::make_shared<const Document>(std::move(doc));
        ok = replaceFile(path, st, serialize(*shared), shared);
    }
    const int e = errno;
    close(fd); // releases the lock
    if (!ok) {
        SetLastError(errorFromErrno(e));
        return FALSE;
    }
    return TRUE;
}

extern "C" DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName,
                                                 LPCSTR lpDefault, LPSTR lpReturnedString,
                                                 DWORD nSize, LPCSTR lpFileName) {
    return korutil::detail::failOnBadAlloc(DWORD(0), [&] {
        return getProfileString(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize,
                                lpFileName);
    });
}

extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName,
                                                  LPCSTR lpString, LPCSTR lpFileName) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&] {
        return writeProfileString(lpAppName, lpKeyName, lpString, lpFileName);
    });
}

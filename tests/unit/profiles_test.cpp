#include "support/child_process.h"
#include "support/temp_dir.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using korutil::test::TempDir;

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string get(const char* section, const char* key, const std::string& file,
                const char* def = "(none)", DWORD size = 256) {
    std::vector<char> buffer(size + 1, '#');
    GetPrivateProfileStringA(section, key, def, buffer.data(), size, file.c_str());
    return buffer.data();
}

// A double-zero-terminated list as a vector.
std::vector<std::string> list(const char* section, const std::string& file, DWORD size = 256) {
    std::vector<char> buffer(size, '#');
    GetPrivateProfileStringA(section, nullptr, "", buffer.data(), size, file.c_str());
    std::vector<std::string> names;
    for (const char* p = buffer.data(); *p; p += std::strlen(p) + 1) {
        names.push_back(p);
    }
    return names;
}

TEST(Profiles, ReadsListsAndCutsWithTheWindowsRules) {
    TempDir dir;
    const std::string ini = dir.file("rules.ini");
    writeFile(ini, "top=before any section\r\n; a comment\r\n  [ Window ]  \r\n  Left = 10  \r\n"
                   "title=\"  spaced  \"\r\nsingle='x'\r\nodd=\"unbalanced\r\nempty=\r\n"
                   "noequals\r\n;c=not a key\r\nleft=shadowed\r\nutf=ab\xC3\xA9\xC3\xA9\r\n"
                   "cont=\x80\x80\x80\x80\x80\r\n[other]\r\na=1\r\n[Two]\r\n"
                   "[\xC3\x84rger \xD0\x96]\r\n\xC3\xA9t\xC3\xA9=summer\r\n");
    const struct {
        const char* section;
        const char* key;
        const char* def;
        DWORD size;
        const char* expected;
    } cases[] = {
        {"window", "LEFT", "", 256, "10"},
        {" WINDOW ", " left ", "", 256, "10"},
        {"Window", "title", "", 256, "  spaced  "},
        {"Window", "single", "", 256, "x"},
        {"Window", "odd", "", 256, "\"unbalanced"},
        {"Window", "empty", "d", 256, ""},
        {"Window", "noequals", "d", 256, "d"},
        {"Window", "top", "d", 256, "d"},
        {"OTHER", "A", "", 256, "1"},
        {"Window", "missing", "  def   ", 256, "  def"}, // trailing blanks dropped
        {"nosection", "a", nullptr, 256, ""},
        {"Window", "title", "", 6, "  spa"},       // cut to the buffer
        {"Window", "utf", "", 6, "ab\xC3\xA9"},    // never half a character
        {"Window", "cont", "", 4, "\x80\x80\x80"}, // not UTF-8: cut where asked
        {"\xC3\xA4RGER \xD0\xB6", "\xC3\x89T\xC3\x89", "", 256, "summer"}, // beyond ASCII
        {"Window", "missing", "xyzzy", 4, "xyz"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, get(c.section, c.key, ini, c.def, c.size)) << c.key;
    }
    EXPECT_EQ("d", get("Window", "Left", dir.file("missing.ini"), "d"));
    EXPECT_EQ("d", get("Window", "Left", "", "d"));
    char buffer[9];
    EXPECT_EQ(2u, GetPrivateProfileStringA("Window", "Left", "", buffer, 8, ini.c_str()));
    EXPECT_EQ(0u, GetPrivateProfileStringA("Window", "Left", "", buffer, 0, ini.c_str()));

    // Null key: the keys of a section; null section: the sections; cut, still two zeros.
    EXPECT_EQ((std::vector<std::string>{"Window", "other", "Two", "\xC3\x84rger \xD0\x96"}),
              list(nullptr, ini));
    EXPECT_EQ((std::vector<std::string>{"a"}), list("OTHER", ini));
    EXPECT_EQ(8u, list("window", ini).size());
    EXPECT_TRUE(list("Two", ini).empty());
    EXPECT_TRUE(list("none", ini).empty());
    EXPECT_TRUE(list(nullptr, dir.file("missing.ini")).empty());
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(7u, GetPrivateProfileStringA(nullptr, nullptr, "", buffer, 9, ini.c_str()));
    EXPECT_EQ(0, std::memcmp("Window\0\0\0", buffer, 9));
}

TEST(Profiles, WritesKeepCommentsOrderAndLineEnds) {
    TempDir dir;
    const std::string ini = dir.file("keep.ini");
    writeFile(ini, "; header comment\r\n[A]\r\nx = 1 ; not a comment\r\n; inside A\r\ny=2\r\n\r\n"
                   "[B]\r\nz=3\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("a", "X", "10", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("A", "new", "n", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("C", "c", "\"quoted\"", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("C", "d", " spaced ", ini.c_str()));
    EXPECT_EQ("; header comment\r\n[A]\r\nx=10\r\n; inside A\r\ny=2\r\nnew=n\r\n\r\n"
              "[B]\r\nz=3\r\n\r\n[C]\r\nc=\"\"quoted\"\"\r\nd=\" spaced \"\r\n",
              readFile(ini));
    EXPECT_EQ("\"quoted\"", get("c", "c", ini)); // what was written, quotes and all
    EXPECT_EQ(" spaced ", get("c", "d", ini));

    // Deletions: a null value removes the key, a null key the section with its lines.
    ASSERT_TRUE(WritePrivateProfileStringA("A", "y", nullptr, ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("b", nullptr, nullptr, ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("A", "absent", nullptr, ini.c_str()));
    EXPECT_EQ("; header comment\r\n[A]\r\nx=10\r\n; inside A\r\nnew=n\r\n\r\n[C]\r\n"
              "c=\"\"quoted\"\"\r\nd=\" spaced \"\r\n",
              readFile(ini));
    EXPECT_EQ("(none)", get("B", "z", ini));

    // Deleting from a missing file creates nothing.
    EXPECT_TRUE(WritePrivateProfileStringA("A", "x", nullptr, dir.file("none.ini").c_str()));
    EXPECT_NE(0, access(dir.file("none.ini").c_str(), F_OK));
}

TEST(Profiles, RefusesWhatWouldNotReadBack) {
    TempDir dir;
    const std::string ini = dir.file("bad.ini");
    const struct {
        const char *section, *key, *value;
        bool written;
    } cases[] = {
        {"s", "k", "two\nlines", false}, {"s", "two\rlines", "v", false},
        {"s]", "k", "v", false},         {"s", "k=j", "v", false},
        {"s", "  ", "v", false},         {" ", "k", "v", false},
        {"s", ";comment", "v", false},   {"s", " [header", "v", false},
        {"a;b", "k;[]\"", "v", true},    {"[s", "k", "v", true},
        {"s=t", "k", "=;[]", true},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(c.written,
                  WritePrivateProfileStringA(c.section, c.key, c.value, ini.c_str()) != 0)
            << c.section << " " << c.key;
        EXPECT_EQ(c.written ? 0u : ERROR_INVALID_PARAMETER, GetLastError()) << c.key;
        EXPECT_EQ(c.written ? c.value : "(none)", get(c.section, c.key, ini)) << c.key;
    }
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", ""));
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", dir.file("no/such/dir.ini").c_str()));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    // The flush reports FALSE as on Windows, with no error.
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str()));
    EXPECT_EQ(NO_ERROR, GetLastError());

    // A read-only file stays as it is.
    const std::string locked = dir.file("locked.ini");
    writeFile(locked, "[s]\nk=v\n");
    ASSERT_EQ(0, chmod(locked.c_str(), 0444));
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "new", locked.c_str()));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ("[s]\nk=v\n", readFile(locked));
}

// Random names and values, from pieces that the reader treats specially: a write that
// succeeds reads back exactly, now and from a fresh parse of the file; a refused one leaves
// the file as it was.
TEST(Profiles, EveryWriteThatSucceedsReadsBack) {
    TempDir dir;
    const std::string ini = dir.file("random.ini");
    const char* pieces[] = {"a", "B",  "k", "Z", "q",  " ",  "\t", ";",        "[",        "]",
                            "=", "\"", "'", "#", "\\", "\r", "\n", "\xC3\xA4", "\xC3\x84", "\x80"};
    std::mt19937 random(20261207);
    auto text = [&](unsigned least, unsigned most) {
        std::string s;
        for (unsigned n = least + random() % (most - least + 1); n > 0; --n) {
            s += pieces[random() % std::size(pieces)];
        }
        return s;
    };
    // A name as the reader knows it, without blanks at its ends and without case; the
    // model reads every key back by that name.
    auto identity = [](std::string s) {
        s.erase(0, s.find_first_not_of(" \t"));
        s.erase(s.find_last_not_of(" \t") + 1);
        for (std::size_t at; (at = s.find("\xC3\xA4")) != std::string::npos;) {
            s[at + 1] = '\x84';
        }
        for (char& c : s) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return s;
    };
    std::map<std::string, std::map<std::string, std::string>> model;
    int written = 0;
    for (int step = 0; step < 600; ++step) {
        const std::string section = text(1, step % 7 ? 2 : 4);
        const std::string key = text(1, 3);
        const std::string value = text(0, 6);
        const bool erase = random() % 20 == 0;
        const std::string before = readFile(ini);
        if (!WritePrivateProfileStringA(section.c_str(), key.c_str(),
                                        erase ? nullptr : value.c_str(), ini.c_str())) {
            ASSERT_EQ(ERROR_INVALID_PARAMETER, GetLastError()) << step;
            ASSERT_EQ(before, readFile(ini)) << step;
            continue;
        }
        ++written;
        if (erase) {
            model[identity(section)].erase(identity(key));
        } else {
            model[identity(section)][identity(key)] = value;
            ASSERT_EQ(value, get(section.c_str(), key.c_str(), ini)) << step;
        }
    }
    EXPECT_GT(written, 150);
    const std::string fresh = dir.file("fresh.ini");
    writeFile(fresh, readFile(ini));
    for (const auto& [section, keys] : model) {
        EXPECT_EQ(keys.size(), list(section.c_str(), fresh, 65536).size()) << section;
        for (const auto& [key, value] : keys) {
            EXPECT_EQ(value, get(section.c_str(), key.c_str(), fresh)) << section << " " << key;
        }
    }
}

TEST(Profiles, BareNamesLiveInTheConfigHome) {
    TempDir dir;
    const std::string home = dir.file("config/nested");
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "v", "app.ini"));
    EXPECT_EQ("[s]\nk=v\n", readFile(home + "/app.ini"));
    EXPECT_EQ("v", get("s", "k", "app.ini"));
    // A backslash is a directory separator too; the file and its directories are found
    // without case, and a write in other case goes to the same file.
    EXPECT_EQ("v", get("s", "k", dir.path() + "\\CONFIG\\nested\\app.ini"));
    EXPECT_EQ("v", get("s", "k", "App.INI"));
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "w", "APP.ini"));
    EXPECT_EQ("[s]\nk=w\n", readFile(home + "/app.ini"));
    EXPECT_NE(0, access((home + "/APP.ini").c_str(), F_OK));
    EXPECT_EQ("(none)", get("s", "k", "Other.ini")); // not found, then made in other case
    EXPECT_TRUE(WritePrivateProfileStringA("s", "k", "o", "OTHER.INI"));
    EXPECT_EQ("o", get("s", "k", "other.ini"));
    if (old) {
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

TEST(Profiles, SeesChangesMadeBehindItsBack) {
    TempDir dir;
    const std::string ini = dir.file("changed.ini");
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "aaa", ini.c_str()));
    EXPECT_EQ("aaa", get("s", "k", ini));
    // Rewritten in place by another program: same inode and size, later time stamp.
    timespec pause{0, 20 * 1000 * 1000};
    nanosleep(&pause, nullptr);
    {
        std::fstream f(ini, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(6);
        f << "bbb";
    }
    EXPECT_EQ("bbb", get("s", "k", ini));
    ASSERT_EQ(0, unlink(ini.c_str()));
    EXPECT_EQ("(none)", get("s", "k", ini));
}

// A directory, a FIFO or a device is no INI file: refused at once, never waited for (a child
// process, so that a wait ends in the alarm instead of a hung test).
TEST(Profiles, OnlyRegularFilesServe) {
    TempDir dir;
    const std::string fifo = dir.file("fifo.ini");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0666));
    EXPECT_EQ(0, korutil::test::runInChild([&] {
                  alarm(10);
                  int failures = 0;
                  for (const std::string& name : {fifo, dir.path(), std::string("/dev/null")}) {
                      failures +=
                          get("s", "k", name, "d") != "d" || GetLastError() != ERROR_ACCESS_DENIED;
                      failures += WritePrivateProfileStringA("s", "k", "v", name.c_str()) ||
                                  GetLastError() != ERROR_ACCESS_DENIED;
                  }
                  return failures;
              }));
}

// Writes go to the file that the name designates: through symbolic links to their target,
// and through one of several hard links to the file that all of them name.
TEST(Profiles, WritesGoToTheFileTheNameDesignates) {
    TempDir dir;
    const std::string real = dir.file("real.ini");
    writeFile(real, "[s]\nk=old\n");
    ASSERT_EQ(0, symlink("real.ini", dir.file("link.ini").c_str()));
    ASSERT_EQ(0, symlink(dir.file("link.ini").c_str(), dir.file("chain.ini").c_str()));
    ASSERT_EQ(0, symlink("later.ini", dir.file("dangling.ini").c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "new", dir.file("chain.ini").c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", dir.file("dangling.ini").c_str()));
    EXPECT_EQ("[s]\nk=new\n", readFile(real));
    EXPECT_EQ("[s]\nk=v\n", readFile(dir.file("later.ini")));
    struct stat st {};
    for (const char* name : {"link.ini", "chain.ini", "dangling.ini"}) {
        ASSERT_EQ(0, lstat(dir.file(name).c_str(), &st));
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << name;
    }

    const std::string other = dir.file("other.ini");
    ASSERT_EQ(0, link(real.c_str(), other.c_str()));
    EXPECT_EQ("new", get("s", "k", real));
    for (int round = 0; round < 3; ++round) { // same size each time: no stale copy is read
        const std::string value = "v" + std::to_string(round);
        ASSERT_TRUE(WritePrivateProfileStringA("s", "k", value.c_str(), other.c_str()));
        EXPECT_EQ(value, get("s", "k", real));
        EXPECT_EQ("[s]\nk=" + value + "\n", readFile(real));
    }
    struct stat a {
    }, b{};
    ASSERT_EQ(0, stat(real.c_str(), &a));
    ASSERT_EQ(0, stat(other.c_str(), &b));
    EXPECT_EQ(a.st_ino, b.st_ino);
}

// Each child process sets its own keys, one write at a time, all at once with the others.
TEST(Profiles, ConcurrentWritersInSeveralProcessesLoseNothing) {
    TempDir dir;
    const std::string ini = dir.file("shared.ini");
    constexpr int kWriters = 4;
    constexpr int kKeys = 25;
    EXPECT_EQ(0, korutil::test::runInChildrenAtOnce(kWriters, [&](int w) {
                  int failures = 0;
                  for (int k = 0; k < kKeys; ++k) {
                      const std::string key = "w" + std::to_string(w) + "k" + std::to_string(k);
                      failures +=
                          !WritePrivateProfileStringA(k % 2 ? "odd" : "even", key.c_str(),
                                                      std::to_string(k).c_str(), ini.c_str());
                  }
                  return failures;
              }));
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeys; ++k) {
            const std::string key = "w" + std::to_string(w) + "k" + std::to_string(k);
            EXPECT_EQ(std::to_string(k), get(k % 2 ? "odd" : "even", key.c_str(), ini)) << key;
        }
    }
    EXPECT_EQ(2u, list(nullptr, ini).size());
}

// A writer killed at any moment leaves a file that holds either the old or the new content.
TEST(Profiles, AWriterKilledMidwayLeavesAWholeFile) {
    TempDir dir;
    const std::string ini = dir.file("killed.ini");
    const std::string big(4000, 'x');
    for (int round = 0; round < 3; ++round) {
        unlink(ini.c_str());
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0;; ++i) {
                const std::string value = std::to_string(i) + big;
                WritePrivateProfileStringA("s", "a", value.c_str(), ini.c_str());
                WritePrivateProfileStringA("s", "b", value.c_str(), ini.c_str());
            }
        }
        timespec pause{0, (10 + 15 * round) * 1000 * 1000};
        nanosleep(&pause, nullptr);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);

        // Every write set one key: a and b differ by at most one step, and both are whole.
        const std::string a = get("s", "a", ini, "", 8192);
        const std::string b = get("s", "b", ini, "", 8192);
        if (a.empty()) {
            continue; // killed before the first write completed
        }
        ASSERT_GT(a.size(), big.size());
        EXPECT_EQ(big, a.substr(a.size() - big.size()));
        if (!b.empty()) {
            EXPECT_EQ(big, b.substr(b.size() - big.size()));
            const long ia = std::atol(a.c_str());
            const long ib = std::atol(b.c_str());
            EXPECT_TRUE(ia == ib || ia == ib + 1) << ia << " " << ib;
        }
        const std::string raw = readFile(ini);
        EXPECT_EQ('\n', raw.back());
        EXPECT_EQ(0u, raw.find("[s]\n"));
    }
}

} // namespace

// Settings beside the peers a user would pick instead: Boost property trees over INI and
// JSON files, an INI file in place of the registry, and one query of the registry's own
// database for its enumerations.
#include <korutil/settings.h>

#include <benchmark/benchmark.h>
#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A private directory for the run's files (and registry), removed at exit.
struct WorkDir {
    std::string path;
    WorkDir() {
        std::string pattern = "/tmp/korutil-bench-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::abort();
        }
        path = pattern;
        setenv("KORUTIL_REGISTRY", (path + "/registry.sqlite").c_str(), 1);
    }
    ~WorkDir() {
        PlatRegCloseStore();
        std::filesystem::remove_all(path);
    }
};

const std::string& workDir() {
    static const WorkDir dir;
    return dir.path;
}

constexpr int kKeys = 100;

std::string keyName(int i) {
    return "key" + std::to_string(i);
}

// The settings record: 100 numbers in two sections, one Xfer each.
struct Record : CIniFile {
    explicit Record(const std::string& file) : CIniFile(file.c_str()) {}
    int values[kKeys] = {};
    int UpdateData(int save) override {
        for (int i = 0; i < kKeys; ++i) {
            Xfer(save, i % 2 ? "Odd" : "Even", keyName(i).c_str(), &values[i], -1);
        }
        return 1;
    }
};

std::string recordFile() {
    const std::string file = workDir() + "/record.ini";
    Record r(file);
    for (int i = 0; i < kKeys; ++i) {
        r.values[i] = i * 1000;
    }
    r.UpdateData(1);
    // The peers read the file themselves: the save must have reached it.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
    return file;
}

void BM_IniLoad_CIniFile(benchmark::State& state) {
    Record r(recordFile());
    for (auto _ : state) {
        r.UpdateData(0);
        benchmark::DoNotOptimize(r.values);
    }
}
BENCHMARK(BM_IniLoad_CIniFile);

void BM_IniLoad_BoostPropertyTree(benchmark::State& state) {
    const std::string file = recordFile();
    int values[kKeys];
    for (auto _ : state) {
        boost::property_tree::ptree tree;
        boost::property_tree::read_ini(file, tree);
        for (int i = 0; i < kKeys; ++i) {
            values[i] = tree.get<int>(std::string(i % 2 ? "Odd" : "Even") + "." + keyName(i), -1);
        }
        benchmark::DoNotOptimize(values);
    }
}
BENCHMARK(BM_IniLoad_BoostPropertyTree);

// What each load would cost without the parsed-file cache: one parse per key.
void BM_IniLoad_ParsePerKey(benchmark::State& state) {
    const std::string file = recordFile();
    int values[kKeys];
    for (auto _ : state) {
        for (int i = 0; i < kKeys; ++i) {
            boost::property_tree::ptree tree;
            boost::property_tree::read_ini(file, tree);
            values[i] = tree.get<int>(std::string(i % 2 ? "Odd" : "Even") + "." + keyName(i), -1);
        }
        benchmark::DoNotOptimize(values);
    }
}
BENCHMARK(BM_IniLoad_ParsePerKey);

void BM_IniSave_CIniFile(benchmark::State& state) {
    Record r(recordFile());
    r.UpdateData(0);
    int round = 0;
    for (auto _ : state) {
        r.values[0] = ++round; // each save changes something, so each write is real
        r.UpdateData(1);
    }
}
BENCHMARK(BM_IniSave_CIniFile);

// One save carried all the way into the file on the caller's thread: the save, then the
// Windows flush that writes it out at once instead of when its keys stop coming.
void BM_IniSaveAndFlush_CIniFile(benchmark::State& state) {
    Record r(recordFile());
    r.UpdateData(0);
    int round = 0;
    for (auto _ : state) {
        r.values[0] = ++round;
        r.UpdateData(1);
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, r.GetIniFileName());
    }
}
BENCHMARK(BM_IniSaveAndFlush_CIniFile);

void BM_IniSave_BoostPropertyTree(benchmark::State& state) {
    const std::string file = workDir() + "/boost.ini";
    int round = 0;
    for (auto _ : state) {
        boost::property_tree::ptree tree;
        for (int i = 0; i < kKeys; ++i) {
            tree.put(std::string(i % 2 ? "Odd" : "Even") + "." + keyName(i),
                     i ? i * 1000 : ++round);
        }
        boost::property_tree::write_ini(file, tree);
    }
}
BENCHMARK(BM_IniSave_BoostPropertyTree);

// The same peer made as safe as a profile save: written beside the file, synced and renamed
// over it, so that a crash leaves the old or the new file whole.
void BM_IniSave_BoostPropertyTreeDurable(benchmark::State& state) {
    const std::string file = workDir() + "/boost.ini", temp = file + ".new";
    int round = 0;
    for (auto _ : state) {
        boost::property_tree::ptree tree;
        for (int i = 0; i < kKeys; ++i) {
            tree.put(std::string(i % 2 ? "Odd" : "Even") + "." + keyName(i),
                     i ? i * 1000 : ++round);
        }
        boost::property_tree::write_ini(temp, tree);
        const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0 || ::close(fd) != 0 ||
            std::rename(temp.c_str(), file.c_str()) != 0) {
            state.SkipWithError("durable save failed");
            break;
        }
    }
}
BENCHMARK(BM_IniSave_BoostPropertyTreeDurable);

void BM_RegGetDword_CRegKeyBase(benchmark::State& state) {
    workDir();
    CRegKeyBase key("Software\\Bench", nullptr, CRegKeyBase::modeCreate,
                    CRegKeyBase::ctxCurrentUser, 0);
    key.SetDword("Value", 42);
    for (auto _ : state) {
        benchmark::DoNotOptimize(key.GetDword("Value", 0));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegGetDword_CRegKeyBase);

void BM_RegSetDword_CRegKeyBase(benchmark::State& state) {
    workDir();
    CRegKeyBase key("Software\\Bench", nullptr, CRegKeyBase::modeCreate,
                    CRegKeyBase::ctxCurrentUser, 0);
    unsigned long n = 0;
    for (auto _ : state) {
        key.SetDword("Value", ++n);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegSetDword_CRegKeyBase);

// The peer: the same number kept in an INI file instead, one Xfer per operation.
void BM_RegGetDword_IniXfer(benchmark::State& state) {
    CIniFile ini((workDir() + "/single.ini").c_str());
    int value = 42;
    ini.Xfer(1, "Bench", "Value", &value, 0);
    for (auto _ : state) {
        ini.Xfer(0, "Bench", "Value", &value, 0);
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegGetDword_IniXfer);

void BM_RegSetDword_IniXfer(benchmark::State& state) {
    CIniFile ini((workDir() + "/single.ini").c_str());
    int value = 0;
    for (auto _ : state) {
        ++value;
        ini.Xfer(1, "Bench", "Value", &value, 0);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegSetDword_IniXfer);

// A source tree of 10 x 10 x 10 keys below one key (1110 keys), one value each.
void buildSource() {
    static bool built = false;
    if (built) {
        return;
    }
    built = true;
    CRegKeyBase::RegDeleteKeyAll(HKEY_CURRENT_USER, "Software\\Source");
    CRegKeyBase source("Software\\Source", nullptr, CRegKeyBase::modeCreate,
                       CRegKeyBase::ctxCurrentUser, 0);
    for (int a = 0; a < 10; ++a) {
        for (int b = 0; b < 10; ++b) {
            for (int c = 0; c < 10; ++c) {
                const std::string path =
                    "k" + std::to_string(a) + "\\k" + std::to_string(b) + "\\k" + std::to_string(c);
                CRegKeyBase key(path.c_str(), CRegKeyBase::modeCreate, source, 0);
                key.SetDword("v", static_cast<unsigned long>(a * 100 + b * 10 + c));
            }
        }
    }
}

void BM_CopyKeyTree1000_CRegKeyBase(benchmark::State& state) {
    workDir();
    buildSource();
    CRegKeyBase source("Software\\Source", nullptr, CRegKeyBase::modeOpen,
                       CRegKeyBase::ctxCurrentUser, 0);
    for (auto _ : state) {
        state.PauseTiming();
        CRegKeyBase::RegDeleteKeyAll(HKEY_CURRENT_USER, "Software\\Copy");
        CRegKeyBase copy("Software\\Copy", nullptr, CRegKeyBase::modeCreate,
                         CRegKeyBase::ctxCurrentUser, 0);
        state.ResumeTiming();
        CRegKeyBase::CopyKeyTree(source, copy);
    }
}
BENCHMARK(BM_CopyKeyTree1000_CRegKeyBase)->Unit(benchmark::kMillisecond);

// The peer: the same tree kept in a JSON settings file with a Boost property tree, loaded,
// copied in memory and saved again.
void BM_CopyKeyTree1000_BoostJsonFile(benchmark::State& state) {
    namespace pt = boost::property_tree;
    const std::string file = workDir() + "/tree.json";
    {
        pt::ptree tree;
        for (int a = 0; a < 10; ++a) {
            for (int b = 0; b < 10; ++b) {
                for (int c = 0; c < 10; ++c) {
                    const std::string path = "Source.k" + std::to_string(a) + ".k" +
                                             std::to_string(b) + ".k" + std::to_string(c) + ".v";
                    tree.put(path, a * 100 + b * 10 + c);
                }
            }
        }
        pt::write_json(file, tree);
    }
    for (auto _ : state) {
        pt::ptree tree;
        pt::read_json(file, tree);
        tree.put_child("Copy", tree.get_child("Source"));
        pt::write_json(file, tree);
        state.PauseTiming();
        tree.erase("Copy");
        pt::write_json(file, tree);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CopyKeyTree1000_BoostJsonFile)->Unit(benchmark::kMillisecond);

void BM_RegDeleteKeyAll1000_CRegKeyBase(benchmark::State& state) {
    workDir();
    buildSource();
    CRegKeyBase source("Software\\Source", nullptr, CRegKeyBase::modeOpen,
                       CRegKeyBase::ctxCurrentUser, 0);
    for (auto _ : state) {
        state.PauseTiming();
        CRegKeyBase copy("Software\\Copy", nullptr, CRegKeyBase::modeCreate,
                         CRegKeyBase::ctxCurrentUser, 0);
        CRegKeyBase::CopyKeyTree(source, copy);
        state.ResumeTiming();
        CRegKeyBase::RegDeleteKeyAll(HKEY_CURRENT_USER, "Software\\Copy");
    }
}
BENCHMARK(BM_RegDeleteKeyAll1000_CRegKeyBase)->Unit(benchmark::kMillisecond);

// The peer: the JSON settings file loaded, the subtree erased, the file saved.
void BM_RegDeleteKeyAll1000_BoostJsonFile(benchmark::State& state) {
    namespace pt = boost::property_tree;
    const std::string file = workDir() + "/tree.json";
    pt::ptree source;
    for (int a = 0; a < 10; ++a) {
        for (int b = 0; b < 10; ++b) {
            for (int c = 0; c < 10; ++c) {
                source.put("k" + std::to_string(a) + ".k" + std::to_string(b) + ".k" +
                               std::to_string(c) + ".v",
                           a * 100 + b * 10 + c);
            }
        }
    }
    for (auto _ : state) {
        state.PauseTiming();
        pt::ptree tree;
        tree.put_child("Source", source);
        tree.put_child("Copy", source);
        pt::write_json(file, tree);
        state.ResumeTiming();
        pt::ptree loaded;
        pt::read_json(file, loaded);
        loaded.erase("Copy");
        pt::write_json(file, loaded);
    }
}
BENCHMARK(BM_RegDeleteKeyAll1000_BoostJsonFile)->Unit(benchmark::kMillisecond);

constexpr int kWide = 20000;

// One key with 20,000 values and 20,000 subkeys, made once.
void buildWide() {
    static bool built = false;
    if (built) {
        return;
    }
    built = true;
    workDir();
    CRegKeyBase wide("Software\\Wide", nullptr, CRegKeyBase::modeCreate,
                     CRegKeyBase::ctxCurrentUser, 0);
    PlatRegBeginGroup();
    for (int i = 0; i < kWide; ++i) {
        const std::string name = "entry" + std::to_string(i);
        wide.SetDword(name.c_str(), static_cast<unsigned long>(i));
        HKEY sub = nullptr;
        RegCreateKeyA(wide, name.c_str(), &sub);
        RegCloseKey(sub);
    }
    PlatRegEndGroup(TRUE);
}

void BM_RegEnumValues20000_RegEnumValueA(benchmark::State& state) {
    buildWide();
    CRegKeyBase wide("Software\\Wide", nullptr, CRegKeyBase::modeOpen, CRegKeyBase::ctxCurrentUser,
                     0);
    for (auto _ : state) {
        char name[64];
        BYTE data[16];
        DWORD count = 0;
        for (DWORD i = 0;; ++i) {
            DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
            if (RegEnumValueA(wide, i, name, &nameSize, nullptr, &type, data, &dataSize) != 0) {
                break;
            }
            ++count;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * kWide);
}
BENCHMARK(BM_RegEnumValues20000_RegEnumValueA)->Unit(benchmark::kMillisecond);

void BM_RegEnumKeys20000_RegEnumKeyExA(benchmark::State& state) {
    buildWide();
    CRegKeyBase wide("Software\\Wide", nullptr, CRegKeyBase::modeOpen, CRegKeyBase::ctxCurrentUser,
                     0);
    for (auto _ : state) {
        char name[64];
        char cls[64];
        FILETIME written;
        DWORD count = 0;
        for (DWORD i = 0;; ++i) {
            DWORD nameSize = sizeof name, classSize = sizeof cls;
            if (RegEnumKeyExA(wide, i, name, &nameSize, nullptr, cls, &classSize, &written) != 0) {
                break;
            }
            ++count;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * kWide);
}
BENCHMARK(BM_RegEnumKeys20000_RegEnumKeyExA)->Unit(benchmark::kMillisecond);

// The peer of both: the same rows as one query of the store's database, with its own
// connection, in name order.
void queryAll(benchmark::State& state, const char* sql) {
    buildWide();
    PlatRegCloseStore();
    sqlite3* db = nullptr;
    sqlite3_open_v2((workDir() + "/registry.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    for (auto _ : state) {
        DWORD count = 0;
        char name[64];
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::snprintf(name, sizeof name, "%s", sqlite3_column_text(stmt, 0));
            benchmark::DoNotOptimize(sqlite3_column_blob(stmt, 1));
            benchmark::DoNotOptimize(sqlite3_column_int64(stmt, 2));
            ++count;
        }
        sqlite3_reset(stmt);
        benchmark::DoNotOptimize(count);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * kWide);
}

void BM_RegEnumValues20000_OneQuery(benchmark::State& state) {
    queryAll(state, "SELECT v.name, v.data, v.type FROM vals v JOIN keys k ON v.key = k.id "
                    "WHERE k.name = 'Wide' ORDER BY v.name");
}
BENCHMARK(BM_RegEnumValues20000_OneQuery)->Unit(benchmark::kMillisecond);

void BM_RegEnumKeys20000_OneQuery(benchmark::State& state) {
    queryAll(state, "SELECT c.name, c.class, max(c.written, ifnull((SELECT max(v.written) FROM "
                    "vals v WHERE v.key = c.id), 0)) FROM keys c JOIN keys k ON c.parent = k.id "
                    "WHERE k.name = 'Wide' ORDER BY c.name");
}
BENCHMARK(BM_RegEnumKeys20000_OneQuery)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

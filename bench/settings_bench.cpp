// Settings beside the peers a user would pick instead: Boost property trees over INI and
// JSON files, and an INI file in place of the registry.
#include <korutil/settings.h>

#include <benchmark/benchmark.h>
#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <unistd.h>

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

} // namespace

BENCHMARK_MAIN();

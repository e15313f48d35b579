// The file family beside the peers a host would pick instead: stdio with an 8 KB buffer and
// the standard streams for buffered records, plain read/write for large blocks, fmemopen and
// std::stringstream for small writes in memory; opening a file by its exact name and by a
// name in other case, beside plain open(2). KORUTIL_BENCH_FILE_MB (default 100) and
// KORUTIL_BENCH_MEM_MB (default 16) set the amounts, for quick runs.
#include <korutil/files.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

long megabytes(const char* variable, long fallback) {
    const char* value = std::getenv(variable);
    const long n = value ? std::atol(value) : 0;
    return (n > 0 ? n : fallback) << 20;
}

const long kFileBytes = megabytes("KORUTIL_BENCH_FILE_MB", 100);
const long kMemBytes = megabytes("KORUTIL_BENCH_MEM_MB", 16);

// One scratch directory for the whole run, removed at exit.
class Scratch {
public:
    Scratch() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/korutil-bench-XXXXXX";
        if (mkdtemp(pattern.data())) {
            m_dir = pattern;
        }
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    std::string file(const char* name) const { return m_dir + "/" + name; }

private:
    std::string m_dir;
};

const Scratch& scratch() {
    static Scratch instance;
    return instance;
}

void record(char* out, long size, long index) {
    std::memset(out, static_cast<int>('a' + index % 26), static_cast<std::size_t>(size));
}

void finish(benchmark::State& state, long bytesPerIteration, bool ok) {
    if (!ok) {
        state.SkipWithError("transfer failed");
    }
    state.SetBytesProcessed(state.iterations() * bytesPerIteration);
}

// Records written to a new file and read back, as a journal would be.
void BM_BufDiskFile(benchmark::State& state) {
    const long size = state.range(0);
    const long records = kFileBytes / size;
    const std::string path = scratch().file("buf.dat");
    std::vector<char> buffer(static_cast<std::size_t>(size));
    bool ok = true;
    for (auto _ : state) {
        CBufDiskFile file;
        ok &= file.Open(path.c_str(), CFile::modeWrite) == 1;
        for (long i = 0; i < records; ++i) {
            record(buffer.data(), size, i);
            ok &= file.Write(buffer.data(), size) == size;
        }
        ok &= file.Close() == 1;
        ok &= file.Open(path.c_str(), CFile::modeRead) == 1;
        for (long i = 0; i < records; ++i) {
            ok &= file.Read(buffer.data(), size) == size;
        }
        benchmark::DoNotOptimize(buffer.data());
        ok &= file.Close() == 1;
    }
    finish(state, 2 * records * size, ok);
}

void BM_StdioFile(benchmark::State& state) {
    const long size = state.range(0);
    const long records = kFileBytes / size;
    const std::string path = scratch().file("stdio.dat");
    std::vector<char> buffer(static_cast<std::size_t>(size));
    bool ok = true;
    for (auto _ : state) {
        FILE* out = std::fopen(path.c_str(), "wb");
        ok &= out && std::setvbuf(out, nullptr, _IOFBF, 8192) == 0;
        for (long i = 0; i < records; ++i) {
            record(buffer.data(), size, i);
            ok &= std::fwrite(buffer.data(), 1, static_cast<std::size_t>(size), out) ==
                  static_cast<std::size_t>(size);
        }
        ok &= std::fclose(out) == 0;
        FILE* in = std::fopen(path.c_str(), "rb");
        ok &= in && std::setvbuf(in, nullptr, _IOFBF, 8192) == 0;
        for (long i = 0; i < records; ++i) {
            ok &= std::fread(buffer.data(), 1, static_cast<std::size_t>(size), in) ==
                  static_cast<std::size_t>(size);
        }
        benchmark::DoNotOptimize(buffer.data());
        ok &= std::fclose(in) == 0;
    }
    finish(state, 2 * records * size, ok);
}

void BM_StdStreams(benchmark::State& state) {
    const long size = state.range(0);
    const long records = kFileBytes / size;
    const std::string path = scratch().file("stream.dat");
    std::vector<char> buffer(static_cast<std::size_t>(size));
    bool ok = true;
    for (auto _ : state) {
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            for (long i = 0; i < records; ++i) {
                record(buffer.data(), size, i);
                out.write(buffer.data(), size);
            }
            ok &= out.good();
        }
        std::ifstream in(path, std::ios::binary);
        for (long i = 0; i < records; ++i) {
            in.read(buffer.data(), size);
        }
        benchmark::DoNotOptimize(buffer.data());
        ok &= in.good();
    }
    finish(state, 2 * records * size, ok);
}

constexpr long kBlock = 1 << 20;

void BM_RawDiskFile(benchmark::State& state) {
    const long blocks = kFileBytes / kBlock;
    const std::string path = scratch().file("raw.dat");
    std::vector<char> buffer(kBlock, 'r');
    bool ok = true;
    for (auto _ : state) {
        CRawDiskFile file;
        ok &= file.Open(path.c_str(), CFile::modeWrite) == 1;
        for (long i = 0; i < blocks; ++i) {
            ok &= file.Write(buffer.data(), kBlock) == kBlock;
        }
        ok &= file.Seek(0, CFile::fromBegin) == 0;
        for (long i = 0; i < blocks; ++i) {
            ok &= file.Read(buffer.data(), kBlock) == kBlock;
        }
        benchmark::DoNotOptimize(buffer.data());
        ok &= file.Close() == 1;
    }
    finish(state, 2 * blocks * kBlock, ok);
}

void BM_PosixReadWrite(benchmark::State& state) {
    const long blocks = kFileBytes / kBlock;
    const std::string path = scratch().file("posix.dat");
    std::vector<char> buffer(kBlock, 'p');
    bool ok = true;
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        ok &= fd >= 0;
        for (long i = 0; i < blocks; ++i) {
            ok &= ::write(fd, buffer.data(), kBlock) == kBlock;
        }
        ok &= ::lseek(fd, 0, SEEK_SET) == 0;
        for (long i = 0; i < blocks; ++i) {
            ok &= ::read(fd, buffer.data(), kBlock) == kBlock;
        }
        benchmark::DoNotOptimize(buffer.data());
        ok &= ::close(fd) == 0;
    }
    finish(state, 2 * blocks * kBlock, ok);
}

constexpr long kSmall = 16;

void BM_MemFile(benchmark::State& state) {
    const long growBy = state.range(0);
    const long records = kMemBytes / kSmall;
    char small[kSmall];
    bool ok = true;
    for (auto _ : state) {
        HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, 0);
        CMemFile file(growBy);
        file.Open(static_cast<unsigned char*>(GlobalLock(handle)), 0);
        for (long i = 0; i < records; ++i) {
            record(small, kSmall, i);
            ok &= file.Write(small, kSmall) == kSmall;
        }
        unsigned char* block = nullptr;
        long size = 0;
        file.Close(&block, &size);
        benchmark::DoNotOptimize(block);
        handle = GlobalHandle(block);
        GlobalUnlock(handle);
        GlobalFree(handle);
    }
    finish(state, records * kSmall, ok);
}

void BM_Fmemopen(benchmark::State& state) {
    const long records = kMemBytes / kSmall;
    std::vector<char> memory(static_cast<std::size_t>(kMemBytes) + 1);
    char small[kSmall];
    bool ok = true;
    for (auto _ : state) {
        FILE* out = fmemopen(memory.data(), memory.size(), "w");
        ok &= out != nullptr;
        for (long i = 0; i < records; ++i) {
            record(small, kSmall, i);
            ok &= std::fwrite(small, 1, kSmall, out) == kSmall;
        }
        ok &= std::fclose(out) == 0;
        benchmark::DoNotOptimize(memory.data());
    }
    finish(state, records * kSmall, ok);
}

void BM_StringStream(benchmark::State& state) {
    const long records = kMemBytes / kSmall;
    char small[kSmall];
    bool ok = true;
    for (auto _ : state) {
        std::stringstream out;
        for (long i = 0; i < records; ++i) {
            record(small, kSmall, i);
            out.write(small, kSmall);
        }
        ok &= out.good();
        benchmark::DoNotOptimize(out);
    }
    finish(state, records * kSmall, ok);
}

// A directory of 64 files, as a program's data directory might hold, one of which is opened.
std::string openTarget() {
    static const std::string target = [] {
        const std::string dir = scratch().file("Data");
        std::filesystem::create_directory(dir);
        for (int i = 0; i < 64; ++i) {
            std::ofstream(dir + "/Entry" + std::to_string(i) + ".Dat") << i;
        }
        return dir + "/Entry42.Dat";
    }();
    return target;
}

void openAndClose(benchmark::State& state, const std::string& name) {
    bool ok = true;
    for (auto _ : state) {
        HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ok &= file != INVALID_HANDLE_VALUE && CloseHandle(file);
    }
    if (!ok) {
        state.SkipWithError("open failed");
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_OpenExactName(benchmark::State& state) {
    openAndClose(state, openTarget());
}

// The directory and the file named in capitals: each open lists the directory.
void BM_OpenNameInOtherCase(benchmark::State& state) {
    openTarget();
    openAndClose(state, scratch().file("DATA/ENTRY42.DAT"));
}

void BM_PosixOpen(benchmark::State& state) {
    const std::string name = openTarget();
    bool ok = true;
    for (auto _ : state) {
        const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        ok &= fd >= 0 && ::close(fd) == 0;
    }
    if (!ok) {
        state.SkipWithError("open failed");
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_BufDiskFile)->Arg(16)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StdioFile)->Arg(16)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StdStreams)->Arg(16)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawDiskFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PosixReadWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MemFile)->Arg(256)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Fmemopen)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StringStream)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenExactName);
BENCHMARK(BM_OpenNameInOtherCase);
BENCHMARK(BM_PosixOpen);

BENCHMARK_MAIN();

#include "demo.h"

#include <korutil/files.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace {

// Works through the CFile interface only, so that it serves disk and memory files alike.
long countLines(CFile& file, long* bytes) {
    char chunk[64];
    long lines = 0;
    *bytes = 0;
    file.Seek(0, CFile::fromBegin);
    for (long n; (n = file.Read(chunk, sizeof chunk)) > 0;) {
        *bytes += n;
        for (long i = 0; i < n; ++i) {
            lines += chunk[i] == '\n';
        }
    }
    return lines;
}

bool writeJournal(const char* path, int session, int entries) {
    CBufDiskFile journal;
    if (!journal.Open(path, CFile::modeWrite)) {
        return false;
    }
    char line[80];
    for (int i = 1; i <= entries; ++i) {
        const int length =
            std::snprintf(line, sizeof line, "session %d, entry %03d: saved\n", session, i);
        if (journal.Write(line, length) != length) {
            journal.Close();
            return false;
        }
    }
    demo::say("session %d: %d entries, %ld bytes written through an 8 KB buffer", session, entries,
              journal.GetPosition());
    return journal.Close() == 1;
}

int run() {
    // Everything lives in one folder beside the executable and goes away at the end.
    char folder[MAX_PATH];
    if (!MakeExePathName(nullptr, folder, sizeof folder, "korutil-files-demo")) {
        return 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directory(folder, ignored);
    demo::say("working folder beside the executable: %s", folder);

    char journalPath[MAX_PATH];
    MakePath(journalPath, sizeof journalPath, folder, "journal", "log");
    bool ok = true;
    for (int session = 1; session <= 3; ++session) {
        ok &= writeJournal(journalPath, session, 100 * session);
        ok &= BackupFile(journalPath) == 1;
    }

    WIN32_FIND_DATAA found;
    char pattern[MAX_PATH];
    MakePath(pattern, sizeof pattern, folder, "journal", "*");
    HANDLE search = FindFirstFileA(pattern, &found);
    int files = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            demo::say("  %-12s %6lu bytes", found.cFileName,
                      static_cast<unsigned long>(found.nFileSizeLow));
            ++files;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    ok &= files == 4; // the journal and three numbered backups

    CBufDiskFile onDisk;
    long diskBytes = 0;
    long diskLines = -1;
    if (onDisk.Open(journalPath, CFile::modeRead)) {
        diskLines = countLines(onDisk, &diskBytes);
        onDisk.Close();
    }
    demo::say("read back through CFile: %ld lines, %ld bytes", diskLines, diskBytes);

    // The same reader over a copy in global memory that the memory file grows as it fills.
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, 0);
    CMemFile memory(4096);
    memory.Open(static_cast<unsigned char*>(GlobalLock(handle)), 0);
    CRawDiskFile source;
    if (source.Open(journalPath, CFile::modeRead)) {
        char block[1000];
        for (long n; (n = source.Read(block, sizeof block)) > 0;) {
            ok &= memory.Write(block, n) == n;
        }
        source.Close();
    }
    long memoryBytes = 0;
    const long memoryLines = countLines(memory, &memoryBytes);
    unsigned char* block = nullptr;
    long blockSize = 0;
    memory.Close(&block, &blockSize);
    demo::say("the same reader over a memory file: %ld lines in a block grown to %ld bytes "
              "(zero-filled past the data)",
              memoryLines, blockSize);
    handle = GlobalHandle(block);
    GlobalUnlock(handle);
    GlobalFree(handle);

    std::filesystem::remove_all(folder, ignored);
    return ok && diskLines == 300 && memoryLines == 300 && blockSize >= diskBytes ? 0 : 1;
}

demo::Registration registration(50, "Files, paths and backups", run);

} // namespace

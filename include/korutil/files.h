// Files and paths: the file family behind one byte-stream interface, and path helpers.
//
// Positions and counts are signed 32-bit values whatever the width of `long`: a failure is
// -1. File objects own their handle and buffer, but their destructors do not close the file:
// a host calls Close.
#pragma once

#include <korutil/frame.h>
#include <korutil/platform.h>

// The abstract byte stream: a current position, seeking, reading and writing.
class KORUTIL_API CFile {
public:
    enum OpenMode {
        modeRead = 0,  // an existing file, for reading; other readers admitted
        modeWrite = 1, // created or truncated, for reading and writing; nobody else admitted
    };
    // The values are the system's move methods.
    enum SeekFrom { fromBegin = 0, fromCurrent = 1, fromEnd = 2 };

    CFile() {}
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    virtual ~CFile() = 0;

    // The current position, or -1.
    virtual long GetPosition() const = 0;
    // The new position from the start, or -1.
    virtual long Seek(long offset, SeekFrom from) = 0;
    // Bytes delivered (fewer at the end), or -1 when the system refused.
    virtual long Read(void* buffer, long count) = 0;
    // Bytes taken, or -1 when the system refused.
    virtual long Write(const void* buffer, long count) = 0;
};

// Files opened and closed by name.
class KORUTIL_API CDiskFile : public CFile {
public:
    CDiskFile() {}
    ~CDiskFile() override = 0;

    virtual int Open(const char* fileName, CFile::OpenMode mode) = 0;
    virtual int Close() = 0;
};

// Unbuffered: every Read and Write is one system call.
class KORUTIL_API CRawDiskFile : public CDiskFile {
public:
    CRawDiskFile();
    ~CRawDiskFile() override;

    long GetPosition() const override;
    long Seek(long offset, CFile::SeekFrom from) override;
    long Read(void* buffer, long count) override;
    long Write(const void* buffer, long count) override;
    // 1 when the file was opened; 0 otherwise, also when this object already has a file open.
    int Open(const char* fileName, CFile::OpenMode mode) override;
    // 1 when an open file was closed; the object is closed afterwards in any case.
    int Close() override;

private:
    HANDLE m_hFile;
};

// One buffer serving in turn as read-ahead and as write-behind: small transfers cost a copy,
// the system is called once per buffer load or per buffer of pending bytes, and requests
// larger than the buffer go straight to the system. On a closed object GetPosition, Seek,
// Read and Write fail with -1.
class KORUTIL_API CBufDiskFile : public CDiskFile {
public:
    explicit CBufDiskFile(long bufferSize = 8192);
    ~CBufDiskFile() override;

    long GetPosition() const override;
    long Seek(long offset, CFile::SeekFrom from) override;
    long Read(void* buffer, long count) override;
    // count when the bytes were taken; 0 when pending bytes could not be written to make
    // room (they stay pending), -1 when the system refused.
    long Write(const void* buffer, long count) override;
    // 1 when the file was opened and a buffer obtained (lowered in steps of 1024 bytes when
    // the full size cannot be had); 0 otherwise, also when this object already has a file open.
    int Open(const char* fileName, CFile::OpenMode mode) override;
    // Writes pending bytes, closes and releases the buffer; 0 when the file was not open,
    // pending bytes could not all be written, or the system refused to close.
    int Close() override;

private:
    enum { stateReading = 0, stateWriting = 1, stateIdle = 2 };

    int flushWriteBuffer();
    int emptyReadBuffer();
    bool isOpen() const;

    HANDLE m_hFile;
    int m_state;
    unsigned char* m_buffer;
    long m_bufferSize;
    long m_bufferPos;
    long m_bufferFill;
};

// A file over a block of global memory that the host owns. The host hands the locked block
// in with Open and takes it back, possibly moved and grown, with Close. Writes past the end
// grow the block by at least the growth step; the added bytes are zero and belong to the file.
class KORUTIL_API CMemFile : public CFile {
public:
    explicit CMemFile(long growBy = 256);
    ~CMemFile() override;

    // Adopts the block (the host guarantees it holds size bytes). Returns 1.
    int Open(unsigned char* memory, long size);
    // Hands back the current block and size and forgets them. Returns 1.
    int Close(unsigned char** memory, long* size);
    unsigned char* GetMemoryPtr() const { return m_pMemory; }
    long GetMemorySize() const { return m_memSize; }

    long GetPosition() const override;
    // Never fails: the target is clamped to the block. With fromEnd the offset counts
    // backwards from the end.
    long Seek(long offset, CFile::SeekFrom from) override;
    long Read(void* buffer, long count) override;
    // count, or 0 when the block could not grow (nothing changed then).
    long Write(const void* buffer, long count) override;

private:
    long m_growBy;
    unsigned char* m_pMemory;
    long m_memSize;
    long m_position;
};

// The path of fileName in the directory of module hInstance (null: the host executable), or
// with a null fileName that directory itself. 0 when the result would not fit in the buffer.
KORUTIL_API int MakeExePathName(HINSTANCE hInstance, char* buffer, int bufferSize,
                                const char* fileName);

// directory, separator, name, dot, extension; the separator and the dot are added only when
// missing. An empty directory gives the name alone. 0 (buffer untouched) when it would not fit.
KORUTIL_API int MakePath(char* buffer, int bufferSize, const char* directory, const char* name,
                         const char* extension);

// Copies fileName to the next free numbered backup beside it: the extension replaced by one
// above the highest number in use ("REPORT.DAT" -> "REPORT.001", then "REPORT.002", ...).
// Never overwrites; 0 when the file does not exist or the copy failed.
KORUTIL_API int BackupFile(const char* fileName);

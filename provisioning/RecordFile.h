// The record's file: one station at a time holds it, rows are only ever appended, each in one write that
// is on disk before the station goes on; the seam between the station and the OS (RecordFile_posix.cpp:
// O_APPEND, flock and fsync; RecordFile_win32.cpp: a handle that shares reading only, writes at the end
// of the file and FlushFileBuffers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Why the last Open failed.
enum class RecordFileFault {
    None,
    InUse,    // another station (or another program) holds the file
    NotAFile, // the path leads to a directory, a device or a pipe
    System,   // Error() says why
};

// Who may read a record file that Open creates: every user that the umask lets (a station's record), or
// its owner alone (a ledger's journal).
enum class RecordFileReaders {
    Everyone,
    OwnerOnly,
};

class CRecordFile {
public:
    CRecordFile();
    // Closes the file; the next station may take it.
    ~CRecordFile();
    CRecordFile(const CRecordFile&) = delete;
    CRecordFile& operator=(const CRecordFile&) = delete;

    // Opens `path` for appending, creating an empty file for `readers` when there is none (a file of its
    // own for OwnerOnly loses any other reader), and takes it for this station. False when it could not
    // be opened, is no regular file, is reached through a link that another user planted in a shared
    // folder (Error() is PLANTED_LINK_ERROR), or another station holds it (Fault() tells which).
    bool Open(const std::string& path, RecordFileReaders readers = RecordFileReaders::Everyone);
    // The whole file as it is now.
    bool ReadAll(std::string* text);
    // Cuts the file to its first `size` bytes, on disk before it returns: a row that was never finished
    // goes before the next one is appended.
    bool CutTo(std::size_t size);
    // Appends `text` in one write and waits until it is on disk.
    bool Append(const std::string& text);

    // The system's error code of the step that failed last; 0 when none did.
    int32_t Error() const;
    RecordFileFault Fault() const;

private:
    struct State; // per backend
    std::unique_ptr<State> m_state;
};

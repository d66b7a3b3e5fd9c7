// The record's file on Windows: one handle that lets others read but never write (a second station is
// refused with a sharing violation), writes at the end of the file, FlushFileBuffers after every row.
// The Win32 side of the record-file seam.
#include "provisioning/RecordFile.h"

#include "platform/HandleOwner.h"

#include <windows.h>

struct CRecordFile::State {
    CWinHandle File;
    int32_t Error = 0;
    RecordFileFault Fault = RecordFileFault::None;

    bool Fail(DWORD code, RecordFileFault fault = RecordFileFault::System) {
        Error = static_cast<int32_t>(code != ERROR_SUCCESS ? code : ERROR_WRITE_FAULT);
        Fault = fault;
        return false;
    }
    void Close() { File.Reset(); }
};

CRecordFile::CRecordFile() : m_state(std::make_unique<State>()) {}

CRecordFile::~CRecordFile() {
    m_state->Close();
}

// Readers are the folder's: the one file of its owner alone, a ledger's journal, is not kept on Windows.
bool CRecordFile::Open(const std::string& path, RecordFileReaders) {
    State& s = *m_state;
    s.Close();
    s.Error = 0;
    s.Fault = RecordFileFault::None;
    s.File.Reset(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!s.File.IsOpen()) {
        const DWORD code = GetLastError();
        const bool inUse = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
        return s.Fail(code, inUse ? RecordFileFault::InUse : RecordFileFault::System);
    }
    // A name such as "COM7" or "NUL" opens a device, not a file.
    if (GetFileType(s.File.Get()) != FILE_TYPE_DISK) {
        s.Close();
        return s.Fail(ERROR_NOT_SUPPORTED, RecordFileFault::NotAFile);
    }
    return true;
}

bool CRecordFile::ReadAll(std::string* text) {
    State& s = *m_state;
    text->clear();
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(s.File.Get(), start, nullptr, FILE_BEGIN)) {
        return s.Fail(GetLastError());
    }
    char block[8192];
    DWORD got = 0;
    while (ReadFile(s.File.Get(), block, sizeof block, &got, nullptr)) {
        if (got == 0) {
            return true;
        }
        text->append(block, got);
    }
    return s.Fail(GetLastError());
}

bool CRecordFile::CutTo(std::size_t size) {
    State& s = *m_state;
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    return (SetFilePointerEx(s.File.Get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(s.File.Get()) &&
            FlushFileBuffers(s.File.Get())) ||
           s.Fail(GetLastError());
}

bool CRecordFile::Append(const std::string& text) {
    State& s = *m_state;
    // Both offsets all ones: the write goes to the end of the file, as with FILE_APPEND_DATA.
    OVERLAPPED atEnd{};
    atEnd.Offset = 0xFFFFFFFF;
    atEnd.OffsetHigh = 0xFFFFFFFF;
    DWORD written = 0;
    if (!WriteFile(s.File.Get(), text.data(), static_cast<DWORD>(text.size()), &written, &atEnd)) {
        return s.Fail(GetLastError());
    }
    if (written != text.size()) {
        return s.Fail(ERROR_DISK_FULL);
    }
    return FlushFileBuffers(s.File.Get()) || s.Fail(GetLastError());
}

int32_t CRecordFile::Error() const {
    return m_state->Error;
}

RecordFileFault CRecordFile::Fault() const {
    return m_state->Fault;
}

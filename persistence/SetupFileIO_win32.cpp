// File access for setup files on Windows: reading with writers denied, and a flushed temporary file put
// in place with ReplaceFileW or MoveFileExW for saving; the OS side of the setup-file seam.
#include "persistence/SetupFileIO.h"

#include <windows.h>

#include <io.h>
#include <share.h>

#include <string>

std::FILE* OpenSetupFileForReading(const char* path) {
    // Only a file on disk: a name such as "COM7" or "NUL" opens a device, which would be read as if it
    // were a setup file (a COM port would block the reader).
    std::FILE* file = _fsopen(path, "rb", _SH_DENYWR);
    if (file != nullptr &&
        GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

namespace {

// Owns a file handle.
class CHandle {
public:
    CHandle() = default;
    ~CHandle() { Close(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    void Reset(HANDLE handle) {
        Close();
        m_handle = handle;
    }
    HANDLE Get() const { return m_handle; }
    bool Close() {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return handle == INVALID_HANDLE_VALUE || CloseHandle(handle) != 0;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

constexpr unsigned TEMP_NAME_ATTEMPTS = 100;

// Paths arrive in the ANSI code page; the replacing calls are used with wide paths.
std::wstring Widen(const char* text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1) {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

// A name beside the target that no other save of this or another process uses at the same time.
std::wstring TempName(const std::wstring& target) {
    static unsigned counter = 0;
    return target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) +
           L".tmp";
}

// A read-only target or a directory refuses the save, as opening it for writing would.
bool TargetWritable(const std::wstring& target) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ||
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

} // namespace

struct CReplacingFile::State {
    std::wstring Target;
    std::wstring Temp; // the temporary file while it exists
    CHandle File;
};

CReplacingFile::CReplacingFile() : m_state(std::make_unique<State>()) {}

CReplacingFile::~CReplacingFile() {
    m_state->File.Close();
    if (!m_state->Temp.empty()) {
        DeleteFileW(m_state->Temp.c_str());
    }
}

bool CReplacingFile::Create(const char* target) {
    State& s = *m_state;
    s.Target = Widen(target);
    if (s.Target.empty() || !TargetWritable(s.Target) || FileStepFails(FILE_STEP_CREATE)) {
        return false;
    }
    for (unsigned attempt = 0; attempt < TEMP_NAME_ATTEMPTS; ++attempt) {
        const std::wstring name = TempName(s.Target);
        const HANDLE handle =
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            s.File.Reset(handle);
            s.Temp = name;
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    return false;
}

bool CReplacingFile::Write(const char* data, std::size_t length) {
    while (length > 0) {
        if (FileStepFails(FILE_STEP_WRITE)) {
            return false;
        }
        const DWORD chunk = length > MAXDWORD ? MAXDWORD : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteFile(m_state->File.Get(), data, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        length -= written;
    }
    return true;
}

bool CReplacingFile::Finish() {
    return !FileStepFails(FILE_STEP_FLUSH) && FlushFileBuffers(m_state->File.Get()) && m_state->File.Close();
}

// ReplaceFileW keeps the target's attributes and security; a target that does not exist (any more) is
// created by moving the temporary file.
bool CReplacingFile::Replace() {
    State& s = *m_state;
    if (FileStepFails(FILE_STEP_REPLACE)) {
        return false;
    }
    if (!ReplaceFileW(s.Target.c_str(), s.Temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                      nullptr) &&
        (GetLastError() != ERROR_FILE_NOT_FOUND ||
         !MoveFileExW(s.Temp.c_str(), s.Target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))) {
        return false;
    }
    s.Temp.clear();
    return true;
}

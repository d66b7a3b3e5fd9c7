// File access for setup files on Windows: reading with writers denied, and a flushed temporary file put
// in place with ReplaceFileW or MoveFileExW for saving; the OS side of the setup-file seam.
#include "persistence/SetupFileIO.h"

#include "platform/HandleOwner.h"
#include "platform/StdFile.h"

#include <windows.h>

#include <io.h>
#include <share.h>

#include <string>

std::FILE* OpenSetupFileForReading(const char* path, int32_t* error) {
    // Only a file on disk: a name such as "COM7" or "NUL" opens a device, which would be read as if it
    // were a setup file (a COM port would block the reader).
    CStdFile file(_fsopen(path, "rb", _SH_DENYWR));
    if (file.Get() == nullptr) {
        const DWORD code = GetLastError();
        *error = static_cast<int32_t>(code != ERROR_SUCCESS ? code : ERROR_OPEN_FAILED);
        return nullptr;
    }
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file.Get())))) != FILE_TYPE_DISK) {
        *error = ERROR_NOT_SUPPORTED;
        return nullptr;
    }
    *error = 0;
    return file.Release();
}

namespace {

constexpr unsigned TEMP_NAME_ATTEMPTS = 100;

// A virus scanner or an indexer that opens a file just written holds it for a moment; replacing is tried
// again for about a second before the save fails.
constexpr unsigned BUSY_ATTEMPTS = 10;
constexpr unsigned BUSY_PAUSE_MS = 100;

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

// Wine's ReplaceFileW refuses relative names; an absolute one also stays right if the current directory
// changes before the replace.
std::wstring FullPath(const std::wstring& path) {
    const DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) {
        return path;
    }
    std::wstring full(length, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), length, &full[0], nullptr);
    if (written == 0 || written >= length) {
        return path;
    }
    full.resize(written);
    return full;
}

// The name of a kept temporary file, for the trace.
std::string Narrow(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) {
        return std::string();
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], length, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(length - 1));
    return narrow;
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

// A step that puts `temp` in the place of `target`: 0 or the system's error code.
using PlacingStep = DWORD (*)(const std::wstring& target, const std::wstring& temp);

bool IsBusy(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

// The busy error of a target that another program holds open without sharing deletion, else 0. Wine's
// ReplaceFileW leaves an empty "rf*.tmp" file behind each time it finds the target held (measured with
// Wine 8), so the target is looked at first.
DWORD TargetHeld(const std::wstring& target) {
    const CWinHandle probe(CreateFileW(target.c_str(), DELETE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = probe.IsOpen() ? ERROR_SUCCESS : GetLastError();
    return IsBusy(error) ? error : ERROR_SUCCESS;
}

// ReplaceFileW keeps the target's attributes and security.
DWORD ReplaceTarget(const std::wstring& target, const std::wstring& temp) {
    if (const int32_t injected = FileStepFault(FILE_STEP_REPLACE)) {
        return static_cast<DWORD>(injected);
    }
    if (const DWORD held = TargetHeld(target)) {
        return held;
    }
    return ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                        nullptr)
               ? ERROR_SUCCESS
               : GetLastError();
}

DWORD MoveIntoPlace(const std::wstring& target, const std::wstring& temp) {
    if (const int32_t injected = FileStepFault(FILE_STEP_MOVE)) {
        return static_cast<DWORD>(injected);
    }
    return MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? ERROR_SUCCESS
               : GetLastError();
}

void PauseBeforeRetry(unsigned milliseconds) {
    const FilePauseHook pause = FileHookSlots().Pause;
    if (pause != nullptr) {
        pause(milliseconds);
    } else {
        Sleep(milliseconds);
    }
}

// `step`, tried again while another program holds a file it needs.
DWORD Attempt(PlacingStep step, const std::wstring& target, const std::wstring& temp) {
    DWORD error = step(target, temp);
    for (unsigned attempt = 1; attempt < BUSY_ATTEMPTS && IsBusy(error); ++attempt) {
        PauseBeforeRetry(BUSY_PAUSE_MS);
        error = step(target, temp);
    }
    return error;
}

} // namespace

struct CReplacingFile::State {
    std::wstring Target;
    std::wstring Temp; // the temporary file while it exists
    CWinHandle File;
    int32_t Error = 0;
    std::string Kept; // the temporary file, kept because it holds the only copy of the new content

    // Records the failure `error` of a step; false, for returning.
    bool Fail(DWORD error) {
        Error = static_cast<int32_t>(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
        return false;
    }
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
    if (s.Target.empty()) {
        return s.Fail(ERROR_INVALID_NAME);
    }
    s.Target = FullPath(s.Target);
    if (!TargetWritable(s.Target)) {
        return s.Fail(ERROR_ACCESS_DENIED);
    }
    if (const int32_t injected = FileStepFault(FILE_STEP_CREATE)) {
        return s.Fail(static_cast<DWORD>(injected));
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
            return s.Fail(GetLastError());
        }
    }
    return s.Fail(ERROR_FILE_EXISTS);
}

bool CReplacingFile::Write(const char* data, std::size_t length) {
    State& s = *m_state;
    if (const int32_t injected = FileStepFault(FILE_STEP_WRITE)) {
        return s.Fail(static_cast<DWORD>(injected));
    }
    return WriteAll(s.File.Get(), data, length) || s.Fail(GetLastError());
}

bool CReplacingFile::Finish() {
    State& s = *m_state;
    if (const int32_t injected = FileStepFault(FILE_STEP_FLUSH)) {
        return s.Fail(static_cast<DWORD>(injected));
    }
    return (FlushFileBuffers(s.File.Get()) && s.File.Close()) || s.Fail(GetLastError());
}

// A target that does not exist (any more) is created by moving the temporary file. When ReplaceFileW
// failed after moving the target aside (1176, 1177), the temporary file may hold the only copy of
// the configuration: if it cannot be moved in either, it stays.
bool CReplacingFile::Replace() {
    State& s = *m_state;
    const DWORD replaced = Attempt(ReplaceTarget, s.Target, s.Temp);
    if (replaced == ERROR_SUCCESS) {
        s.Temp.clear();
        return true;
    }
    const bool targetMoved =
        replaced == ERROR_UNABLE_TO_MOVE_REPLACEMENT || replaced == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
    if (replaced != ERROR_FILE_NOT_FOUND && !targetMoved) {
        return s.Fail(replaced);
    }
    const DWORD moved = Attempt(MoveIntoPlace, s.Target, s.Temp);
    if (moved == ERROR_SUCCESS) {
        s.Temp.clear();
        return true;
    }
    if (targetMoved) {
        s.Kept = Narrow(s.Temp);
        s.Temp.clear();
    }
    return s.Fail(targetMoved ? replaced : moved);
}

int32_t CReplacingFile::Error() const {
    return m_state->Error;
}

const std::string& CReplacingFile::KeptFile() const {
    return m_state->Kept;
}

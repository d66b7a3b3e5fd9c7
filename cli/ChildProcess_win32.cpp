// CChildProcess on Windows: CreateProcess with stdout and stderr in temporary files that are deleted
// when their last handle closes. The Win32 side of the child-process seam.
#include "cli/ChildProcess.h"

#include "cli/Win32Text.h"

#include <windows.h>

namespace {

class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE handle) : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~CHandle() {
        if (m_handle != nullptr) {
            CloseHandle(m_handle);
        }
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    void Reset(HANDLE handle) {
        CHandle old(m_handle);
        m_handle = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle = nullptr;
};

SECURITY_ATTRIBUTES Inheritable() {
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.bInheritHandle = TRUE;
    return attributes;
}

HANDLE OpenCaptureFile() {
    char directory[MAX_PATH];
    char path[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof directory, directory);
    if (length == 0 || length >= sizeof directory || GetTempFileNameA(directory, "zrv", 0, path) == 0) {
        return nullptr;
    }
    SECURITY_ATTRIBUTES attributes = Inheritable();
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &attributes, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

HANDLE OpenNullInput() {
    SECURITY_ATTRIBUTES attributes = Inheritable();
    return CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, OPEN_EXISTING, 0,
                       nullptr);
}

std::string ReadFromStart(HANDLE file) {
    std::string text;
    if (file == nullptr || SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        return text;
    }
    char block[4096];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0) {
        text.append(block, got);
    }
    return text;
}

} // namespace

struct CChildProcess::State {
    CHandle Out{OpenCaptureFile()};
    CHandle Err{OpenCaptureFile()};
    CHandle Process;
    int Exit = -1;
};

CChildProcess::CChildProcess() : m_state(std::make_unique<State>()) {}

CChildProcess::~CChildProcess() {
    Wait();
}

bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
    const CHandle input(OpenNullInput());
    if (m_state->Process.Get() != nullptr || m_state->Out.Get() == nullptr || m_state->Err.Get() == nullptr ||
        input.Get() == nullptr) {
        return false;
    }
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::string commandLine = WindowsCommandLine(words);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.Get();
    startup.hStdOutput = m_state->Out.Get();
    startup.hStdError = m_state->Err.Get();
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    m_state->Process.Reset(process.hProcess);
    return true;
}

int CChildProcess::Wait() {
    const HANDLE process = m_state->Process.Get();
    if (process != nullptr) {
        DWORD code = 0;
        const bool ended =
            WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
        m_state->Exit = ended ? static_cast<int>(code) : -1;
        m_state->Process.Reset(nullptr);
    }
    return m_state->Exit;
}

std::string CChildProcess::Output() const {
    return ReadFromStart(m_state->Out.Get());
}

std::string CChildProcess::Errors() const {
    return ReadFromStart(m_state->Err.Get());
}

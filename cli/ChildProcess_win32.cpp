// CChildProcess on Windows: CreateProcess with stdout and stderr in temporary files that are deleted
// when their last handle closes, every child in one job object that ends them when this process ends.
// The Win32 side of the child-process seam.
#include "cli/ChildProcess.h"

#include "cli/Win32Text.h"
#include "platform/HandleOwner.h"

#include <cstdio>
#include <windows.h>

namespace {

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

// The job of this process's children. Its one handle is not inheritable and closes when this process
// ends, however it ends; the job then ends every child still in it.
HANDLE ChildJob() {
    static const CWinHandle job([] {
        CWinHandle created(CreateJobObjectA(nullptr, nullptr));
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (created.IsOpen() && !SetInformationJobObject(created.Get(), JobObjectExtendedLimitInformation,
                                                         &limits, sizeof limits)) {
            created.Reset();
        }
        return created.Release();
    }());
    return job.Get();
}

// Unhandled exceptions have exit codes of the error severity, 0xC0000000 and up.
constexpr DWORD EXCEPTION_SEVERITY = 0xC0000000;

ChildEnd EndOfExitCode(DWORD code) {
    ChildEnd end;
    if ((code & EXCEPTION_SEVERITY) == EXCEPTION_SEVERITY) {
        char text[32];
        std::snprintf(text, sizeof text, "exception 0x%08lX", static_cast<unsigned long>(code));
        end.Crash = text;
    } else {
        end.Exited = true;
        end.Status = static_cast<int>(code);
    }
    return end;
}

} // namespace

struct CChildProcess::State {
    CWinHandle Out{OpenCaptureFile()};
    CWinHandle Err{OpenCaptureFile()};
    CWinHandle Process;
    bool Shielded = false;
    ChildEnd End;

    // One look at the process, waiting at most `timeoutMs`; false while it runs.
    bool Reap(DWORD timeoutMs) {
        const DWORD waited = WaitForSingleObject(Process.Get(), timeoutMs);
        if (waited == WAIT_TIMEOUT) {
            return false;
        }
        DWORD code = 0;
        const bool known = waited == WAIT_OBJECT_0 && GetExitCodeProcess(Process.Get(), &code);
        End = known ? EndOfExitCode(code) : ChildEnd{false, -1, "end unknown"};
        Process.Reset(nullptr);
        return true;
    }
};

CChildProcess::CChildProcess() : m_state(std::make_unique<State>()) {}

CChildProcess::~CChildProcess() {
    Wait();
}

void CChildProcess::ShieldFromInterrupts() {
    m_state->Shielded = true;
}

// The child starts suspended and runs only once it is in the job, so that no moment of it is unbound. A
// job that cannot take it (a system before Windows 8 that already runs this process in a job of its
// own) leaves the child unbound rather than the port undone; the parent's time limit still ends it.
bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
    const CWinHandle input(OpenNullInput());
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
    // A crashing child ends at once instead of waiting on an error dialog; children inherit the mode.
    SetErrorMode(GetErrorMode() | SEM_NOGPFAULTERRORBOX);
    const DWORD group = m_state->Shielded ? CREATE_NEW_PROCESS_GROUP : 0;
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | group,
                        nullptr, nullptr, &startup, &process)) {
        return false;
    }
    const CWinHandle thread(process.hThread);
    m_state->Process.Reset(process.hProcess);
    const HANDLE job = ChildJob();
    if (job != nullptr) {
        AssignProcessToJobObject(job, process.hProcess);
    }
    if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        Kill();
        m_state->End = ChildEnd();
        return false;
    }
    return true;
}

bool CChildProcess::HasEnded() {
    return m_state->Process.Get() == nullptr || m_state->Reap(0);
}

int CChildProcess::Wait() {
    if (m_state->Process.Get() != nullptr) {
        m_state->Reap(INFINITE);
    }
    return m_state->End.Exited ? m_state->End.Status : -1;
}

void CChildProcess::Kill() {
    if (m_state->Process.Get() != nullptr) {
        TerminateProcess(m_state->Process.Get(), 1);
        Wait();
    }
}

const ChildEnd& CChildProcess::End() const {
    return m_state->End;
}

std::string CChildProcess::Output() const {
    return ReadFromStart(m_state->Out.Get());
}

std::string CChildProcess::Errors() const {
    return ReadFromStart(m_state->Err.Get());
}

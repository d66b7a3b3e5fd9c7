// CChildProcess on Windows: CreateProcess with stdin, stdout and stderr on anonymous pipes of the parent,
// every child in one job object that ends them when this process ends. The Win32 side of the
// child-process seam.
#include "cli/system/ChildProcess.h"

#include "cli/system/WindowsSyntax.h"
#include "platform/HandleOwner.h"

#include <cstdio>
#include <vector>
#include <windows.h>

namespace {

SECURITY_ATTRIBUTES Inheritable() {
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.bInheritHandle = TRUE;
    return attributes;
}

// Big enough for a configuration given as input, so that writing it never waits for the child.
constexpr DWORD PIPE_SIZE = 65536;
// How long a wait lasts at most while the child runs: its end wakes the waiter at once, but what it
// writes to an anonymous pipe cannot, and is collected between two waits.
constexpr DWORD WAIT_SLICE_MS = 50;

// A pipe whose child end is inheritable and whose parent end is not. The child end lives only until its
// child runs, and children are started from one thread: no other child inherits it.
struct Pipe {
    CWinHandle Parent;
    CWinHandle Child;
    bool Open(bool childReads) {
        SECURITY_ATTRIBUTES attributes = Inheritable();
        HANDLE read = nullptr;
        HANDLE write = nullptr;
        if (!CreatePipe(&read, &write, &attributes, PIPE_SIZE)) {
            return false;
        }
        Parent.Reset(childReads ? write : read);
        Child.Reset(childReads ? read : write);
        return SetHandleInformation(Parent.Get(), HANDLE_FLAG_INHERIT, 0) != 0;
    }
};

// What waits in the pipe is appended to `text`, without waiting. False once the pipe has ended.
bool Collect(HANDLE pipe, std::string* text) {
    char block[4096];
    for (;;) {
        DWORD waiting = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) {
            return false;
        }
        if (waiting == 0) {
            return true;
        }
        DWORD got = 0;
        if (!ReadFile(pipe, block, waiting < sizeof block ? waiting : sizeof block, &got, nullptr)) {
            return false;
        }
        text->append(block, got);
    }
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

// The attribute list that lets a child inherit `handles` and no other handle of this process, whatever
// part of the program made it inheritable.
class CInheritOnly {
public:
    explicit CInheritOnly(const std::vector<HANDLE>& handles) : m_handles(handles) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_buffer.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_buffer.data());
        m_ready = InitializeProcThreadAttributeList(list, 1, 0, &size) != 0;
        m_ready =
            m_ready && UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, m_handles.data(),
                                                 m_handles.size() * sizeof(HANDLE), nullptr, nullptr) != 0;
    }
    ~CInheritOnly() {
        if (!m_buffer.empty()) {
            DeleteProcThreadAttributeList(List());
        }
    }
    CInheritOnly(const CInheritOnly&) = delete;
    CInheritOnly& operator=(const CInheritOnly&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST List() {
        return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_buffer.data());
    }
    bool Ready() const { return m_ready; }

private:
    std::vector<HANDLE> m_handles;
    std::vector<char> m_buffer;
    bool m_ready = false;
};

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
    CWinHandle Out; // the read ends of the child's stdout and stderr
    CWinHandle Err;
    std::string OutText;
    std::string ErrText;
    CWinHandle Process;
    bool Shielded = false;
    ChildEnd End;

    void Collect() {
        if (Out.IsOpen() && !::Collect(Out.Get(), &OutText)) {
            Out.Reset();
        }
        if (Err.IsOpen() && !::Collect(Err.Get(), &ErrText)) {
            Err.Reset();
        }
    }
    // One look at the process, waiting at most `timeoutMs`; false while it runs.
    bool Reap(DWORD timeoutMs) {
        const DWORD waited = WaitForSingleObject(Process.Get(), timeoutMs);
        Collect();
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
// own) leaves the child unbound rather than the port undone; the parent's time limit still ends it. A
// shielded child has no console: neither Ctrl-C nor Ctrl-Break of the parent's console reaches it.
bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input) {
    Pipe in;
    Pipe out;
    Pipe err;
    if (m_state->Process.Get() != nullptr || !in.Open(true) || !out.Open(false) || !err.Open(false)) {
        return false;
    }
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::string commandLine = WindowsCommandLine(words);
    CInheritOnly inherit({in.Child.Get(), out.Child.Get(), err.Child.Get()});
    STARTUPINFOEXA startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = in.Child.Get();
    startup.StartupInfo.hStdOutput = out.Child.Get();
    startup.StartupInfo.hStdError = err.Child.Get();
    startup.lpAttributeList = inherit.List();
    PROCESS_INFORMATION process{};
    // A crashing child ends at once instead of waiting on an error dialog; children inherit the mode.
    SetErrorMode(GetErrorMode() | SEM_NOGPFAULTERRORBOX);
    const DWORD console = m_state->Shielded ? DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP : 0;
    if (!inherit.Ready() || !CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                            CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT | console,
                                            nullptr, nullptr, &startup.StartupInfo, &process)) {
        return false;
    }
    in.Child.Reset();
    out.Child.Reset();
    err.Child.Reset();
    const CWinHandle thread(process.hThread);
    m_state->Process.Reset(process.hProcess);
    m_state->Out.Reset(out.Parent.Release());
    m_state->Err.Reset(err.Parent.Release());
    const HANDLE job = ChildJob();
    if (job != nullptr) {
        AssignProcessToJobObject(job, process.hProcess);
    }
    if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        Kill();
        m_state->End = ChildEnd();
        return false;
    }
    // The pipe takes the input whole; a child that ended at once is no failure to start.
    [[maybe_unused]] const bool given =
        input.empty() || WriteAll(in.Parent.Get(), input.data(), input.size());
    return true;
}

bool CChildProcess::HasEnded() {
    return m_state->Process.Get() == nullptr || m_state->Reap(0);
}

void CChildProcess::AddTo(CWaitList* waits) const {
    if (m_state->Process.Get() != nullptr) {
        waits->Add(reinterpret_cast<WaitHandle>(m_state->Process.Get()));
        waits->LimitMs(WAIT_SLICE_MS);
    }
}

int CChildProcess::Wait() {
    // In slices, collecting between them: a child that fills its pipe waits for its parent.
    while (m_state->Process.Get() != nullptr && !m_state->Reap(WAIT_SLICE_MS)) {
    }
    return m_state->End.Exited ? m_state->End.Status : -1;
}

void CChildProcess::RequestStop() {
    if (m_state->Process.Get() != nullptr) {
        TerminateProcess(m_state->Process.Get(), 1);
    }
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
    m_state->Collect();
    return m_state->OutText;
}

std::string CChildProcess::Errors() const {
    m_state->Collect();
    return m_state->ErrText;
}

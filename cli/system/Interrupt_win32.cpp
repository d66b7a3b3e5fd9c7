// Ctrl-C counted on Windows: a console control handler that counts CTRL_C_EVENT and CTRL_BREAK_EVENT,
// sets an event that a waiting loop waits for, and tells the system they were handled. The Win32 side of
// the interrupt seam.
#include "cli/system/Interrupt.h"

#include "platform/HandleOwner.h"

#include <atomic>

#include <windows.h>

namespace {

std::atomic<int> Count{0};
// Never set: a parent ends a child with TerminateProcess.
const std::atomic<bool> NoStop{false};

// A manual-reset event, made before the handler is installed and kept as long as the process.
HANDLE Wake() {
    static const CWinHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    return event.Get();
}

// Runs on a thread that the system starts for the event.
BOOL WINAPI OnControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        Count.fetch_add(1);
        SetEvent(Wake());
        return TRUE;
    }
    return FALSE;
}

} // namespace

bool CatchInterrupts() {
    return Wake() != nullptr && SetConsoleCtrlHandler(OnControl, TRUE) != 0;
}

int InterruptCount() {
    return Count.load();
}

WaitHandle InterruptWaitHandle() {
    ResetEvent(Wake());
    return reinterpret_cast<WaitHandle>(Wake());
}

bool CatchStopRequest() {
    return true;
}

bool StopRequested() {
    return false;
}

const std::atomic<bool>* StopRequestFlag() {
    return &NoStop;
}

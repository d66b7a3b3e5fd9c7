// Ctrl-C counted on Windows: a console control handler that counts CTRL_C_EVENT and CTRL_BREAK_EVENT
// and tells the system they were handled. The Win32 side of the interrupt seam.
#include "cli/system/Interrupt.h"

#include <atomic>

#include <windows.h>

namespace {

std::atomic<int> Count{0};
// Never set: a parent ends a child with TerminateProcess.
const std::atomic<bool> NoStop{false};

// Runs on a thread that the system starts for the event.
BOOL WINAPI OnControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        Count.fetch_add(1);
        return TRUE;
    }
    return FALSE;
}

} // namespace

bool CatchInterrupts() {
    return SetConsoleCtrlHandler(OnControl, TRUE) != 0;
}

int InterruptCount() {
    return Count.load();
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

// Ctrl-C and stop requests: counted or noted instead of ending the process, so that the station can let
// its transfers end (first Ctrl-C) or end them at once (second), and a port's transfer can end between
// two commands when its parent asks; and a handle that wakes a waiting loop when they come. The seam
// between the command line and the OS (Interrupt_posix.cpp: SIGINT, SIGTERM and SIGHUP, and a pipe to
// itself; Interrupt_win32.cpp: the console's control handler and an event).
#pragma once

#include "platform/WaitList.h"

#include <atomic>
#include <cstdint>

// From now on Ctrl-C (SIGINT; CTRL_C_EVENT and CTRL_BREAK_EVENT on Windows) counts one, and a request to
// end the process (SIGTERM, SIGHUP) counts two. False when the handler could not be installed.
bool CatchInterrupts();

// How many have come since CatchInterrupts; safe from any thread.
int InterruptCount();

// What a loop waits for to hear of them (see CWaitList): ready once one has come after this call; each
// call forgets those before it, so that a loop calls it, compares InterruptCount with what it last saw,
// and then waits. Valid after CatchInterrupts.
WaitHandle InterruptWaitHandle();

// Sleeps `milliseconds` at most, and not at all once Ctrl-C or a request to end has come; true while none
// has come since CatchInterrupts. A loop that only waits between two looks needs no slices of its own.
inline bool SleepUnlessInterrupted(int64_t milliseconds) {
    CWaitList waits;
    waits.Add(InterruptWaitHandle());
    if (InterruptCount() == 0) {
        waits.LimitMs(milliseconds);
        waits.Wait();
    }
    return InterruptCount() == 0;
}

// For a process that runs one transfer: from now on a request to end it (SIGTERM) is noted instead of
// ending it at once, so that its transfer ends before its next command and its port is closed as usual.
// On Windows, where a parent ends a child with TerminateProcess, nothing is installed.
bool CatchStopRequest();

// Whether such a request has come; safe from any thread.
bool StopRequested();

// The flag behind StopRequested, for a transfer engine to look at before each command (see
// CParamTransfer::SetStopFlag); it lives as long as the process.
const std::atomic<bool>* StopRequestFlag();

// Ctrl-C for the provisioning station: counted instead of ending the process, so that the station can
// let its transfers end (first) or end them at once (second); the seam between the station and the
// OS (Interrupt_posix.cpp: SIGINT, SIGTERM and SIGHUP; Interrupt_win32.cpp: the console's control
// handler).
#pragma once

// From now on Ctrl-C (SIGINT; CTRL_C_EVENT and CTRL_BREAK_EVENT on Windows) counts one, and a request to
// end the process (SIGTERM, SIGHUP) counts two. False when the handler could not be installed.
bool CatchInterrupts();

// How many have come since CatchInterrupts; safe from any thread.
int InterruptCount();

// libpq as a shared library that is loaded when a ledger is first used, not at every start of zrvlink
// (the port's children, one per device, start as fast as a program without it, and a system without
// libpq still provisions with a CSV record), and a wait on a connection's socket; portable interface,
// one backend per OS (PgLibrary_posix.cpp, PgLibrary_win32.cpp).
#pragma once

#include <string>

// Loads the library once for the life of the process; false, with `error` saying what is missing and
// how to get it, when it cannot.
bool LoadPgLibrary(std::string* error);

// The address of the library's function `name`; null when it has none. Only after LoadPgLibrary.
void* PgLibrarySymbol(const char* name);

enum class PgWait {
    Ready,
    TimedOut,
    Failed, // the socket cannot be waited on
};

// Waits until `socket` (a connection's, from PQsocket) can be read, or written with `write`, at most `ms`.
PgWait WaitPgSocket(int socket, bool write, int ms);

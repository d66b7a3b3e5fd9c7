// What zrvlink needs of its process and console: whether stderr is a terminal, a stream for the trace
// log, binary stdout, and its own program path; the seam between the command line and the OS
// (Console_posix.cpp, Console_win32.cpp).
#pragma once

#include <cstdio>
#include <string>

bool StderrIsTerminal();

// A stream of its own on stderr, for DebugPrintSetStream (which takes it over and closes it); null on
// failure.
std::FILE* OpenTraceStream();

// Setup-file text carries its own CR LF: stdout must not add a CR before each LF.
void UseBinaryStdout();

// The path of the running program, for starting children of itself. False when it cannot be found.
bool GetProgramPath(std::string* path);

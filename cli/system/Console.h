// What zrvlink needs of its process and console: whether stderr is a terminal, a stream for the trace
// log, binary stdout, and its own program path; the seam between the command line and the OS
// (Console_posix.cpp, Console_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// First thing at start: standard input, output or error that the caller closed are opened on the null
// device, so that no file the program opens later takes their place (a record opened as descriptor 1
// would get every line meant for stdout).
void OpenMissingStandardStreams();

// Output that goes away (a closed pipe: `| head`, a `| tee` ended by Ctrl-C) is a failed write that the
// program reports and survives, not a signal that ends it in the middle of a device's transfer.
void IgnoreBrokenPipes();

bool StderrIsTerminal();

// A stream of its own on stderr, for DebugPrintSetStream (which takes it over and closes it); null on
// failure.
std::FILE* OpenTraceStream();

// Far beyond the largest configuration (36 lines of at most 256 bytes).
constexpr std::size_t STDIN_LIMIT = 1 << 20;

// All of stdin, as bytes; false when it could not be read or holds more than a configuration ever needs.
bool ReadStdin(std::string* text);

// Setup-file text carries its own CR LF: stdout must not add a CR before each LF.
void UseBinaryStdout();

// This machine's name, for a station that is not given one; "station" when the system tells none.
std::string HostName();

// The path of the running program, for starting children of itself. False when it cannot be found.
bool GetProgramPath(std::string* path);

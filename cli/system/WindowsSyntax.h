// The text rules of Win32 that zrvlink needs: a process's command line built from arguments, and COM
// port names; portable, so that they are tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// `arg` quoted so that the C runtime's parser gives it back unchanged (blanks, quotes and backslashes
// before quotes included).
std::string QuoteWindowsArgument(const std::string& arg);

// The quoted arguments joined by blanks.
std::string WindowsCommandLine(const std::vector<std::string>& args);

// "COMn" or "\\.\COMn" (COM in any case), n from 1 to 255.
bool ParseComPortName(const std::string& name, int32_t* number);

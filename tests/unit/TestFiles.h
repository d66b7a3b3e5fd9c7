// Scratch files for tests: unique paths in the temporary directory, read back whole.
#pragma once

#include <string>

// A path for a file that does not exist yet, unique within this process run.
std::string TempFilePath(const char* stem);

// The platform's null device ("/dev/null", "NUL"): it opens like a file but is none.
const char* NullDevicePath();

// The whole content of the file at `path`; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

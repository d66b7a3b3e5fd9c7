// The table of device paths that names ports by number where the OS has no COMn names; portable.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int COMM_PATH_COUNT = 256; // port numbers 1 .. 255
constexpr std::size_t COMM_PATH_SIZE = 256;

// The number of `path` in the table, adding it when new: 1 or more, or -1 when the path is empty, too
// long, or the table is full. The same path always gets the same number.
int32_t RegisterCommPortPath(const char* path);

// Copies the path of `portNumber` into `path` (COMM_PATH_SIZE bytes). False for an unknown number.
bool GetCommPortPath(int32_t portNumber, char (&path)[COMM_PATH_SIZE]);

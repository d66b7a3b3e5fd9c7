// The table of device paths that names ports by number where the OS has no COMn names; portable.
//
// One table per process, living as long as the process and never emptied: a number once given names its
// path until the process ends, so that a number kept anywhere (the detector's last list, a transfer
// under way) can never come to name another device. Detection registers the /dev paths of the ttys it
// finds and the command line the paths it is given; the kernel hands out tty names again after a device
// goes, so even a station that runs all day registers a few dozen. Once MAX_COMM_PATHS paths are in, a new
// path gets no number: detection leaves its port out, and a port given by name fails like one that does
// not open. Paths already in keep their numbers.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t MAX_COMM_PATHS = 255; // numbers 1 .. MAX_COMM_PATHS; 0 and below name no path
constexpr std::size_t COMM_PATH_SIZE = 256;

// The number of `path` in the table, adding it when new: 1 or more, or -1 when the path is empty, too
// long (COMM_PATH_SIZE bytes with its NUL), or new while the table is full. The same path always gets the
// same number.
int32_t RegisterCommPortPath(const char* path);

// Copies the path of `portNumber` into `path` (COMM_PATH_SIZE bytes). False for a number not given out.
bool GetCommPortPath(int32_t portNumber, char (&path)[COMM_PATH_SIZE]);

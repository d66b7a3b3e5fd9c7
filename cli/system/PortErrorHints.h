// What the system's error code of a port that did not open tells the user, where the system's own
// text would not say it; portable interface, one table per platform (PortErrorHints_posix.cpp,
// PortErrorHints_win32.cpp).
#pragma once

#include <cstdint>

constexpr const char* PORT_HINT_IN_USE = "in use by another program";
constexpr const char* PORT_HINT_FORBIDDEN = "permission denied (is the user in the dialout group?)";

struct PortErrorHint {
    int32_t Code; // errno or GetLastError()
    const char* Text;
};

// This platform's hints; the last row has Code 0.
extern const PortErrorHint PORT_ERROR_HINTS[];

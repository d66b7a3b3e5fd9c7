// The local wall-clock time, as the trace log stamps it; portable interface.
#pragma once

#include <cstdint>

struct LocalTime {
    uint16_t Year;
    uint16_t Month;
    uint16_t Day;
    uint16_t Hour;
    uint16_t Minute;
    uint16_t Second;
};

// Fills the current local date and time, to the second.
void ReadLocalTime(LocalTime* now);

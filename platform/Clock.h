// The local wall-clock time, as the trace log and the station's record stamp it; portable interface.
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

// The same, with the local time's offset from UTC at that moment in minutes (east positive), for time
// stamps that name their zone.
void ReadLocalTimeAndOffset(LocalTime* now, int32_t* utcOffsetMinutes);

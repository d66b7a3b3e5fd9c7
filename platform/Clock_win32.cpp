// ReadLocalTime on Windows: GetLocalTime; with the offset, the UTC time converted to local time.
#include "platform/Clock.h"

#include <windows.h>

void ReadLocalTime(LocalTime* now) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    *now = LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

// The local time as the system converts the UTC time of this moment, and the difference between the two.
void ReadLocalTimeAndOffset(LocalTime* now, int32_t* utcOffsetMinutes) {
    FILETIME utc;
    FILETIME local;
    SYSTEMTIME st;
    GetSystemTimeAsFileTime(&utc);
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) {
        ReadLocalTime(now);
        *utcOffsetMinutes = 0;
        return;
    }
    *now = LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
    const auto ticks = [](const FILETIME& time) {
        return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    constexpr int64_t TICKS_PER_MINUTE = 600000000; // of 100 ns
    *utcOffsetMinutes = static_cast<int32_t>((ticks(local) - ticks(utc)) / TICKS_PER_MINUTE);
}

// ReadLocalTime on POSIX: time and localtime_r, whose tm_gmtoff is the offset from UTC.
#include "platform/Clock.h"

#include <ctime>

namespace {

std::tm LocalNow() {
    std::time_t t = std::time(nullptr);
    std::tm tmNow{};
    localtime_r(&t, &tmNow);
    return tmNow;
}

LocalTime FromTm(const std::tm& tmNow) {
    return LocalTime{static_cast<uint16_t>(tmNow.tm_year + 1900), static_cast<uint16_t>(tmNow.tm_mon + 1),
                     static_cast<uint16_t>(tmNow.tm_mday),        static_cast<uint16_t>(tmNow.tm_hour),
                     static_cast<uint16_t>(tmNow.tm_min),         static_cast<uint16_t>(tmNow.tm_sec)};
}

} // namespace

void ReadLocalTime(LocalTime* now) {
    *now = FromTm(LocalNow());
}

void ReadLocalTimeAndOffset(LocalTime* now, int32_t* utcOffsetMinutes) {
    const std::tm tmNow = LocalNow();
    *now = FromTm(tmNow);
    *utcOffsetMinutes = static_cast<int32_t>(tmNow.tm_gmtoff / 60);
}

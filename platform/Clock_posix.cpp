// ReadLocalTime on POSIX: time and localtime_r.
#include "platform/Clock.h"

#include <ctime>

void ReadLocalTime(LocalTime* now) {
    std::time_t t = std::time(nullptr);
    std::tm tmNow{};
    localtime_r(&t, &tmNow);
    *now = LocalTime{static_cast<uint16_t>(tmNow.tm_year + 1900), static_cast<uint16_t>(tmNow.tm_mon + 1),
                     static_cast<uint16_t>(tmNow.tm_mday),        static_cast<uint16_t>(tmNow.tm_hour),
                     static_cast<uint16_t>(tmNow.tm_min),         static_cast<uint16_t>(tmNow.tm_sec)};
}

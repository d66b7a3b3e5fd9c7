// ReadLocalTime on Windows: GetLocalTime.
#include "platform/Clock.h"

#include <windows.h>

void ReadLocalTime(LocalTime* now) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    *now = LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

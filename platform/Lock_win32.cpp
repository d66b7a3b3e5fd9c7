// CLock on Windows: a CRITICAL_SECTION kept inside the object.
#include "platform/Lock.h"

#include <windows.h>

#include <new>

static_assert(sizeof(CRITICAL_SECTION) <= 64, "CLock storage too small for CRITICAL_SECTION");

static CRITICAL_SECTION* Section(unsigned char* storage) {
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

CLock::CLock() {
    InitializeCriticalSection(new (m_storage) CRITICAL_SECTION);
}
CLock::~CLock() {
    DeleteCriticalSection(Section(m_storage));
}
void CLock::Enter() {
    EnterCriticalSection(Section(m_storage));
}
void CLock::Leave() {
    LeaveCriticalSection(Section(m_storage));
}

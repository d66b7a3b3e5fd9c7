// CLock on Windows: a CRITICAL_SECTION kept inside the object.
#include "platform/Lock.h"

#include <windows.h>

CLock::CLock() {
    InitializeCriticalSection(&m_state.Make<CRITICAL_SECTION>());
}
CLock::~CLock() {
    DeleteCriticalSection(&m_state.Get<CRITICAL_SECTION>());
    m_state.Destroy<CRITICAL_SECTION>();
}
void CLock::Enter() {
    EnterCriticalSection(&m_state.Get<CRITICAL_SECTION>());
}
void CLock::Leave() {
    LeaveCriticalSection(&m_state.Get<CRITICAL_SECTION>());
}

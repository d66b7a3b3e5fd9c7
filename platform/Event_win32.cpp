// CEvent on Windows: an unnamed manual-reset event object.
#include "platform/Event.h"

#include <windows.h>

static HANDLE& Handle(unsigned char* storage) {
    return *reinterpret_cast<HANDLE*>(storage);
}

CEvent::CEvent() {
    Handle(m_storage) = nullptr;
}

CEvent::~CEvent() {
    if (m_created) {
        CloseHandle(Handle(m_storage));
    }
}

bool CEvent::Create() {
    if (!m_created) {
        Handle(m_storage) = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_created = Handle(m_storage) != nullptr;
    }
    return m_created;
}

void CEvent::Set() {
    SetEvent(Handle(m_storage));
}
void CEvent::Reset() {
    ResetEvent(Handle(m_storage));
}

bool CEvent::Wait(unsigned milliseconds) {
    return WaitForSingleObject(Handle(m_storage), milliseconds) == WAIT_OBJECT_0;
}

// CEvent on Windows: an unnamed manual-reset event object.
#include "platform/Event.h"

#include "platform/HandleOwner.h"

#include <new>

static_assert(sizeof(CWinHandle) <= 128, "CEvent storage too small");

static CWinHandle& Handle(unsigned char* storage) {
    return *std::launder(reinterpret_cast<CWinHandle*>(storage));
}

CEvent::CEvent() {
    new (m_storage) CWinHandle;
}

CEvent::~CEvent() {
    Handle(m_storage).~CWinHandle();
}

bool CEvent::Create() {
    if (!m_created) {
        Handle(m_storage).Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        m_created = Handle(m_storage).IsOpen();
    }
    return m_created;
}

void CEvent::Set() {
    SetEvent(Handle(m_storage).Get());
}
void CEvent::Reset() {
    ResetEvent(Handle(m_storage).Get());
}

bool CEvent::Wait(unsigned milliseconds) {
    return WaitForSingleObject(Handle(m_storage).Get(), milliseconds) == WAIT_OBJECT_0;
}

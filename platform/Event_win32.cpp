// CEvent on Windows: an unnamed manual-reset event object.
#include "platform/Event.h"

#include "platform/HandleOwner.h"

CEvent::CEvent() {
    m_state.Make<CWinHandle>();
}

CEvent::~CEvent() {
    m_state.Destroy<CWinHandle>();
}

bool CEvent::Create() {
    if (!m_created) {
        m_state.Get<CWinHandle>().Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        m_created = m_state.Get<CWinHandle>().IsOpen();
    }
    return m_created;
}

void CEvent::Set() {
    SetEvent(m_state.Get<CWinHandle>().Get());
}
void CEvent::Reset() {
    ResetEvent(m_state.Get<CWinHandle>().Get());
}

bool CEvent::Wait(unsigned milliseconds) {
    return WaitForSingleObject(m_state.Get<CWinHandle>().Get(), milliseconds) == WAIT_OBJECT_0;
}

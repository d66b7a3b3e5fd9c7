// The recording stand-in for CEvent.
#include "FakeEvent.h"

#include "platform/Event.h"

#include <atomic>
#include <mutex>

namespace {

// Guards Waits; taken by the engine's worker in Wait and by the test between transfers.
std::mutex WaitsMutex;
std::vector<unsigned> Waits;

using EventState = std::atomic<bool>; // set; written by Set and Reset on any thread

} // namespace

void FakeEventReset() {
    std::lock_guard<std::mutex> lock(WaitsMutex);
    Waits.clear();
}

std::vector<unsigned> FakeEventWaits() {
    std::lock_guard<std::mutex> lock(WaitsMutex);
    return Waits;
}

CEvent::CEvent() = default;

CEvent::~CEvent() {
    if (m_created) {
        m_state.Destroy<EventState>();
    }
}

bool CEvent::Create() {
    if (!m_created) {
        m_state.Make<EventState>(false);
        m_created = true;
    }
    return true;
}

void CEvent::Set() {
    m_state.Get<EventState>() = true;
}

void CEvent::Reset() {
    m_state.Get<EventState>() = false;
}

bool CEvent::Wait(unsigned milliseconds) {
    {
        std::lock_guard<std::mutex> lock(WaitsMutex);
        Waits.push_back(milliseconds);
    }
    return m_state.Get<EventState>().load();
}

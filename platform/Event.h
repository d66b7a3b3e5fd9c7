// A manual-reset event: set, reset, and wait with a time-out; portable interface.
#pragma once

#include "platform/InPlace.h"

class CEvent {
public:
    CEvent();
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    // Creates the event, not signalled. False when the OS refused.
    bool Create();
    bool IsCreated() const { return m_created; }

    void Set();
    void Reset();
    // True when the event is (or becomes) signalled within `milliseconds`.
    bool Wait(unsigned milliseconds);

private:
    CInPlace<16> m_state; // made by Create
    bool m_created = false;
};

// The engine's reply event for its unit tests, linked in place of platform's CEvent: set and reset as the
// real one, but a wait on an event that is not set ends at once, as if its whole time had passed (the fake
// port answers before the engine waits), and every wait's time-out is recorded.
#pragma once

#include <vector>

// Forgets the waits recorded so far.
void FakeEventReset();

// The time-out of every CEvent::Wait since the last FakeEventReset, in milliseconds, in order.
std::vector<unsigned> FakeEventWaits();

// How the station's loop waits between two of its steps: until a child at work ends or writes, Ctrl-C
// comes, news of the ports comes, or the station's next look is due, whichever is first; so that an idle
// station costs nothing and a busy one goes on at once. Portable (the ports' news, the children and
// Ctrl-C through their seams).
#pragma once

#include "cli/parallel/PortChild.h"
#include "cli/system/PortWatch.h"
#include "provisioning/Station.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// How often a station that hears of its ports' changes looks for them all the same: a look then only
// catches what the news missed. ZRVLINK_PORT_LOOK_MS sets another interval, for tests.
constexpr int64_t PORT_LOOK_MS = 5000;
// After news of the ports, one more look this much later: the system may list a port a moment after it
// told of it, or drop one a moment after.
constexpr int64_t FOLLOW_UP_LOOK_MS = 250;

class CStationWait {
public:
    // Watches `ports` (detection's when empty) unless ZRVLINK_PORT_EVENTS is "off" (for tests: as where
    // the system tells nothing). `ledger`: the station shares a ledger, whose news comes with its looks.
    CStationWait(const std::vector<std::string>& ports, bool ledger, IStationClock* clock);

    // How often the station looks for its ports unasked (StationOptions::LookMs).
    int64_t LookMs() const { return m_lookMs; }

    // A child at work, from its start until it is destroyed.
    void Add(const CPortChild* child) { m_children.insert(child); }
    void Remove(const CPortChild* child) { m_children.erase(child); }

    // Sleeps until the next thing happens, `dueMs` (the first of the station's and its boards' NextDueMs)
    // at the latest; at once when
    // InterruptCount() is no longer `seenInterrupts`. True when the station should look at its ports now.
    bool Sleep(int seenInterrupts, int64_t dueMs);

private:
    bool TakeNews();

    CPortWatch m_watch;
    bool m_watching = false;
    IStationClock& m_clock;
    int64_t m_lookMs = PORT_POLL_MS;
    int64_t m_followUpMs = -1; // -1: none due
    std::set<const CPortChild*> m_children;
};

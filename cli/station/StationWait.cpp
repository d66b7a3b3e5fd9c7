// The station's loop between two steps: its children, Ctrl-C, the ports' news and its next look waited for
// at once; portable.
#include "cli/station/StationWait.h"

#include "cli/system/Interrupt.h"
#include "core/TextParse.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// For tests: the interval of the looks that news of the ports leaves, in milliseconds.
const char* const TEST_LOOK_VARIABLE = "ZRVLINK_PORT_LOOK_MS";
// For tests: "off" makes the station look as where the system tells nothing of its ports.
const char* const TEST_EVENTS_VARIABLE = "ZRVLINK_PORT_EVENTS";

int64_t LookMsWithNews() {
    const char* text = std::getenv(TEST_LOOK_VARIABLE);
    int32_t ms = 0;
    return text != nullptr && ParseDecimal(text, std::strlen(text), &ms) && ms > 0 ? ms : PORT_LOOK_MS;
}

bool NewsWanted() {
    const char* text = std::getenv(TEST_EVENTS_VARIABLE);
    return text == nullptr || std::strcmp(text, "off") != 0;
}

} // namespace

// With a ledger the looks stay as frequent as they are without news: each one also brings the other
// stations' rows.
CStationWait::CStationWait(const std::vector<std::string>& ports, bool ledger, IStationClock* clock)
    : m_clock(*clock) {
    m_watching = NewsWanted() && m_watch.Start(ports);
    m_lookMs = m_watching && !ledger ? LookMsWithNews() : PORT_POLL_MS;
}

bool CStationWait::Sleep(int seenInterrupts, int64_t dueMs) {
    CWaitList waits;
    waits.Add(InterruptWaitHandle());
    if (InterruptCount() != seenInterrupts) {
        return TakeNews();
    }
    m_watch.AddTo(&waits);
    for (const CPortChild* child : m_children) {
        child->AddTo(&waits);
    }
    const int64_t now = m_clock.NowMs();
    if (dueMs != std::numeric_limits<int64_t>::max()) {
        waits.LimitMs(dueMs - now);
    }
    if (m_followUpMs >= 0) {
        waits.LimitMs(m_followUpMs - now);
    }
    waits.Wait();
    return TakeNews();
}

bool CStationWait::TakeNews() {
    const int64_t now = m_clock.NowMs();
    if (m_watching && m_watch.TakeNews()) {
        m_followUpMs = now + FOLLOW_UP_LOOK_MS;
        return true;
    }
    if (m_followUpMs >= 0 && now >= m_followUpMs) {
        m_followUpMs = -1;
        return true;
    }
    return false;
}

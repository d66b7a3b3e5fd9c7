// The live boards' one feed: the station's news into the board's state, and the state to each board at
// its pace; portable.
#include "cli/board/BoardFeed.h"

#include "cli/board/BoardJson.h"

#include <algorithm>
#include <limits>

namespace {

// What a look at the ports can change on the board: which ports have a tile, and which device each has.
std::vector<std::string> AttachedDevices(const BoardView& view) {
    std::vector<std::string> attached;
    for (const BoardTile& tile : view.Tiles) {
        attached.push_back(tile.Port + (tile.Device ? "\n" + tile.Serial : std::string()));
    }
    return attached;
}

} // namespace

CBoardFeed::CBoardFeed(const std::vector<std::string>& ports, IStationClock* clock)
    : m_state(ports, clock), m_clock(*clock) {}

void CBoardFeed::Add(IBoardOutlet* outlet, BoardPace pace) {
    m_outlets.push_back(Outlet{outlet, pace});
    if (pace.AtMostEveryMs == 0) {
        Publish(&m_outlets.back());
    }
}

void CBoardFeed::Publish(Outlet* outlet) {
    outlet->Target->Publish(BoardJson(m_state.View(), m_clock.NowMs(), m_clock.RecordTime()));
    outlet->LastMs = m_clock.NowMs();
    outlet->Taken = true;
    outlet->Changed = false;
}

// The one rule's consequence: every outlet learns of the change, and one without a pace takes it now.
void CBoardFeed::Changed() {
    for (Outlet& outlet : m_outlets) {
        outlet.Changed = true;
        if (outlet.Pace.AtMostEveryMs == 0) {
            Publish(&outlet);
        }
    }
}

void CBoardFeed::PlanNow(const PlanNews& plan) {
    m_state.PlanNow(plan);
    Changed();
}

// The ports are looked at twice a second: only a device that came, went or stands in place of another
// is news.
void CBoardFeed::PortsNow(const std::vector<StationPort>& present) {
    const std::vector<std::string> before = AttachedDevices(m_state.View());
    m_state.PortsNow(present);
    if (AttachedDevices(m_state.View()) != before) {
        Changed();
    }
}

void CBoardFeed::PortNow(const PortNews& news) {
    m_state.PortNow(news);
    Changed();
}

void CBoardFeed::PortProgress(const std::string& port, const ChildProgress& progress) {
    m_state.PortProgress(port, progress);
    Changed();
}

void CBoardFeed::Said(const std::string& line) {
    m_state.Said(line);
    Changed();
}

int64_t CBoardFeed::NextDueMs() const {
    int64_t next = std::numeric_limits<int64_t>::max();
    for (const Outlet& outlet : m_outlets) {
        if (!outlet.Taken) {
            return 0; // at once
        }
        if (outlet.Changed) {
            next = std::min(next, outlet.LastMs + outlet.Pace.AtMostEveryMs);
        }
        if (outlet.Pace.AtLeastEveryMs > 0) {
            next = std::min(next, outlet.LastMs + outlet.Pace.AtLeastEveryMs);
        }
    }
    return next;
}

void CBoardFeed::Flush() {
    const int64_t now = m_clock.NowMs();
    for (Outlet& outlet : m_outlets) {
        const int64_t since = now - outlet.LastMs;
        const bool due = !outlet.Taken || (outlet.Changed && since >= outlet.Pace.AtMostEveryMs) ||
                         (outlet.Pace.AtLeastEveryMs > 0 && since >= outlet.Pace.AtLeastEveryMs);
        if (due) {
            Publish(&outlet);
        }
    }
}

void CBoardFeed::Close(int exit) {
    m_state.Stopped(exit);
    for (Outlet& outlet : m_outlets) {
        Publish(&outlet);
    }
}

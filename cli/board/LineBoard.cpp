// The line's boards: a station's board published to the ledger, and the line's own board read from it
// once a second; portable.
#include "cli/board/LineBoard.h"

#include "cli/board/BoardJson.h"

void CStationObservers::PlanNow(const PlanNews& plan) {
    for (IStationObserver* observer : m_observers) {
        observer->PlanNow(plan);
    }
}

void CStationObservers::PortsNow(const std::vector<StationPort>& present) {
    for (IStationObserver* observer : m_observers) {
        observer->PortsNow(present);
    }
}

void CStationObservers::PortNow(const PortNews& news) {
    for (IStationObserver* observer : m_observers) {
        observer->PortNow(news);
    }
}

void CStationObservers::PortProgress(const std::string& port, const ChildProgress& progress) {
    for (IStationObserver* observer : m_observers) {
        observer->PortProgress(port, progress);
    }
}

void CStationObservers::Said(const std::string& line) {
    for (IStationObserver* observer : m_observers) {
        observer->Said(line);
    }
}

CLedgerBoardPublisher::CLedgerBoardPublisher(CLedger* ledger, const std::vector<std::string>& ports,
                                             IStationClock* clock)
    : m_state(ports, clock), m_ledger(*ledger), m_clock(*clock) {}

void CLedgerBoardPublisher::PlanNow(const PlanNews& plan) {
    m_state.PlanNow(plan);
    m_changed = true;
}

// The ports are looked at twice a second: a change of the tiles is news, the look itself is none.
void CLedgerBoardPublisher::PortsNow(const std::vector<StationPort>& present) {
    const std::size_t tiles = m_state.View().Tiles.size();
    m_state.PortsNow(present);
    m_changed = m_changed || m_state.View().Tiles.size() != tiles;
}

void CLedgerBoardPublisher::PortNow(const PortNews& news) {
    m_state.PortNow(news);
    m_changed = true;
}

void CLedgerBoardPublisher::PortProgress(const std::string& port, const ChildProgress& progress) {
    m_state.PortProgress(port, progress);
    m_changed = true;
}

void CLedgerBoardPublisher::Said(const std::string& line) {
    m_state.Said(line);
    m_changed = true;
}

void CLedgerBoardPublisher::Publish() {
    m_ledger.PublishBoard(BoardJson(m_state.View(), m_clock.NowMs(), m_clock.RecordTime()));
    m_lastMs = m_clock.NowMs();
    m_published = true;
    m_changed = false;
}

void CLedgerBoardPublisher::Flush() {
    const int64_t since = m_clock.NowMs() - m_lastMs;
    if (!m_published || (m_changed && since >= LINE_PUBLISH_MS) || since >= LINE_HEARTBEAT_MS) {
        Publish();
    }
}

void CLedgerBoardPublisher::Close(int exit) {
    m_state.Stopped(exit);
    Publish();
}

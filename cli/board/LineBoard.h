// A line of stations on one ledger, as boards show it: each station publishes what its own board shows
// to the ledger, and `zrvlink ledger board` serves the whole line on one page; portable (the ledger and
// the HTTP server through their seams).
#pragma once

#include "cli/board/BoardState.h"
#include "provisioning/ledger/Ledger.h"

#include <cstdint>
#include <string>
#include <vector>

// How often a station publishes its board at most, and at least (so that the line's board sees it
// live).
constexpr int64_t LINE_PUBLISH_MS = 1000;
constexpr int64_t LINE_HEARTBEAT_MS = 5000;

// Several observers hear the same news, in the order they were added.
class CStationObservers : public IStationObserver {
public:
    void Add(IStationObserver* observer) { m_observers.push_back(observer); }
    // Null when none was added, so that the station tells nobody.
    IStationObserver* Get() { return m_observers.empty() ? nullptr : this; }

    void PlanNow(const PlanNews& plan) override;
    void PortsNow(const std::vector<StationPort>& present) override;
    void PortNow(const PortNews& news) override;
    void PortProgress(const std::string& port, const ChildProgress& progress) override;
    void Said(const std::string& line) override;

private:
    std::vector<IStationObserver*> m_observers;
};

// A station on a ledger: its board's state, published to the ledger from the station's loop.
class CLedgerBoardPublisher : public IStationObserver {
public:
    CLedgerBoardPublisher(CLedger* ledger, const std::vector<std::string>& ports, IStationClock* clock);

    void PlanNow(const PlanNews& plan) override;
    void PortsNow(const std::vector<StationPort>& present) override;
    void PortNow(const PortNews& news) override;
    void PortProgress(const std::string& port, const ChildProgress& progress) override;
    void Said(const std::string& line) override;

    // On the station's loop: publishes what changed, at most once a LINE_PUBLISH_MS, and at least once a
    // LINE_HEARTBEAT_MS.
    void Flush();
    // The station ended with `exit`.
    void Close(int exit);

private:
    void Publish();

    CBoardState m_state;
    CLedger& m_ledger;
    IStationClock& m_clock;
    bool m_changed = true;
    int64_t m_lastMs = 0;
    bool m_published = false;
};

// The line's boards: a station's board published to the ledger, and the line's own board read from it
// once a second; portable.
#include "cli/board/LineBoard.h"

#include "cli/board/BoardJson.h"
#include "cli/board/BoardPage.h"
#include "cli/board/BoardServer.h"
#include "cli/system/Interrupt.h"
#include "platform/Clock.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr std::chrono::milliseconds LOOK_SLICE{20};
constexpr int LOOK_SLICES = 50; // a look at the ledger a second

} // namespace

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

CliOutcome RunLedgerBoard(const CliRequest& request) {
    CatchInterrupts();
    SetLedgerInterrupts(InterruptCount);
    CBoardServer server(BOARD_PAGE, BOARD_PAGE_SIZE);
    std::string error;
    if (!server.Bind(request.BoardHost, request.BoardPort, &error)) {
        return CliOutcome{EXIT_USAGE, {"zrvlink ledger board: --listen: " + error}};
    }
    const bool ipv6 = request.BoardHost.find(':') != std::string::npos;
    const std::string address = "http://" + (ipv6 ? "[" + request.BoardHost + "]" : request.BoardHost) + ":" +
                                std::to_string(server.Port()) + "/";
    LedgerLine last;
    bool reachable = false;
    std::string why;
    // The zone in which an event of an earlier zrvlink's station, which gives its time of day alone, is
    // read.
    LocalTime ignored{};
    int32_t utcOffset = 0;
    const auto look = [&] {
        LedgerLine line;
        why.clear();
        reachable = ReadLedgerLine(request.Ledger, &line, &why);
        if (reachable) {
            last = line;
        }
        ReadLocalTimeAndOffset(&ignored, &utcOffset);
        server.Publish(LineBoardJson(last, reachable, why, true, utcOffset));
    };
    look();
    if (!server.Start(&error)) {
        return CliOutcome{EXIT_RESOURCE, {"zrvlink ledger board: " + error}};
    }
    std::printf("line board: %s (for scripts: %sstatus.json); Ctrl-C ends it\n", address.c_str(),
                address.c_str());
    const bool printed = FlushStdout();
    for (int slice = 1; InterruptCount() == 0; ++slice) {
        std::this_thread::sleep_for(LOOK_SLICE);
        if (slice % LOOK_SLICES == 0) {
            look();
        }
    }
    server.Publish(LineBoardJson(last, reachable, why, false, utcOffset));
    server.Close();
    return printed ? CliOutcome{} : Failure(EXIT_FILE_SAVE);
}

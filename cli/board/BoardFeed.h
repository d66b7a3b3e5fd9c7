// The live boards' one feed: the station's news folded into one board state, published by one rule to
// every board that shows it (the station's own over HTTP, and the ledger, whence the line's board reads
// it): news is published when it changes what a board shows, and a look at the ports that found the
// same devices changes nothing. Portable, on the station's thread.
#pragma once

#include "cli/board/BoardState.h"

#include <cstdint>
#include <string>
#include <vector>

// Where a board's document goes.
class IBoardOutlet {
public:
    virtual ~IBoardOutlet() = default;
    // The board's whole JSON document (BoardJson); must not make the station wait for a reader.
    virtual void Publish(const std::string& document) = 0;
};

// When an outlet takes the board: a change at most once an AtMostEveryMs (0: each at once), and the
// board at least once an AtLeastEveryMs, changed or not (0: only on a change).
struct BoardPace {
    int64_t AtMostEveryMs;
    int64_t AtLeastEveryMs;
};
// The station's board takes each change at once; the ledger, for the line's board, a change a second at
// most and the board every five seconds at least, so that the line's board sees the station live.
constexpr BoardPace STATION_BOARD_PACE{0, 0};
constexpr BoardPace LINE_BOARD_PACE{1000, 5000};

class CBoardFeed : public IStationObserver {
public:
    // `ports`: those given on the command line, a tile each from the start. `clock` stamps the documents.
    CBoardFeed(const std::vector<std::string>& ports, IStationClock* clock);

    // From now on `outlet` takes the board at `pace`; one that takes each change at once gets it now,
    // another at the next Flush.
    void Add(IBoardOutlet* outlet, BoardPace pace);
    // What the station tells; null without an outlet, so that the station tells nobody.
    IStationObserver* Observer() { return m_outlets.empty() ? nullptr : this; }

    void PlanNow(const PlanNews& plan) override;
    void PortsNow(const std::vector<StationPort>& present) override;
    void PortNow(const PortNews& news) override;
    void PortProgress(const std::string& port, const ChildProgress& progress) override;
    void Said(const std::string& line) override;

    // On the station's loop: the board to each outlet whose pace has it due now.
    void Flush();
    // When Flush next has something to do; INT64_MAX when no outlet takes the board at a pace.
    int64_t NextDueMs() const;
    // The station ended with `exit`: every outlet takes the last board at once.
    void Close(int exit);

private:
    struct Outlet {
        IBoardOutlet* Target;
        BoardPace Pace;
        bool Taken = false;   // it has taken a board
        bool Changed = false; // since it last took the board
        int64_t LastMs = 0;
    };
    void Changed();
    void Publish(Outlet* outlet);

    CBoardState m_state;
    IStationClock& m_clock;
    std::vector<Outlet> m_outlets;
};

// What the station's live board shows, folded from what the station tells its observer: the plan at a
// glance, one tile per port, the held units and the last events; portable, on the station's thread.
// The same state is the page's and /status.json's (BoardJson in cli/board/BoardJson.h).
#pragma once

#include "provisioning/StationSeams.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// How many of the station's lines the board keeps.
constexpr std::size_t BOARD_EVENTS = 20;

struct BoardTile {
    std::string Port;
    bool Device = false; // a device is attached now
    std::string Serial;
    // The station's news of the device it took last on this port; Taken false while there is none.
    bool Taken = false;
    std::string Unit;
    std::string Address;
    PortStage Stage = PortStage::Reading;
    int Percent = 0;
    int64_t StartMs = 0;
    int64_t EndMs = 0; // its last stage's end; meaningful once it is no longer at work
    std::string Result;
};

struct BoardEvent {
    std::string Time; // "14:03:07", the station's local time
    std::string At;   // the same moment in full, "2026-12-07T14:03:07+01:00": it orders across days and zones
    std::string Line;
};

struct BoardView {
    bool Running = true;
    int Exit = -1; // once stopped
    PlanNews Plan;
    std::vector<BoardTile> Tiles;  // the ports given first, then each port in the order it appeared
    std::deque<BoardEvent> Events; // the last BOARD_EVENTS, oldest first
};

class CBoardState : public IStationObserver {
public:
    // `ports`: the ports given on the command line, each a tile from the start. `clock` stamps the events.
    CBoardState(const std::vector<std::string>& ports, IStationClock* clock);

    void PlanNow(const PlanNews& plan) override;
    void PortsNow(const std::vector<StationPort>& present) override;
    void PortNow(const PortNews& news) override;
    void PortProgress(const std::string& port, const ChildProgress& progress) override;
    void Said(const std::string& line) override;

    // The station has ended with `exit`.
    void Stopped(int exit);

    const BoardView& View() const { return m_view; }

private:
    BoardTile& TileOf(const std::string& port);

    BoardView m_view;
    IStationClock& m_clock;
};

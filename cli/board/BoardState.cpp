// The live board's state from the station's news; portable.
#include "cli/board/BoardState.h"

#include <algorithm>

namespace {

// "2024-05-01T14:03:07+02:00" -> "14:03:07"
std::string ClockTime(const std::string& recordTime) {
    const std::size_t t = recordTime.find('T');
    return t == std::string::npos ? recordTime : recordTime.substr(t + 1, 8);
}

} // namespace

CBoardState::CBoardState(const std::vector<std::string>& ports, IStationClock* clock) : m_clock(*clock) {
    for (const std::string& port : ports) {
        TileOf(port);
    }
}

BoardTile& CBoardState::TileOf(const std::string& port) {
    const auto found = std::find_if(m_view.Tiles.begin(), m_view.Tiles.end(),
                                    [&](const BoardTile& tile) { return tile.Port == port; });
    if (found != m_view.Tiles.end()) {
        return *found;
    }
    m_view.Tiles.push_back(BoardTile{});
    m_view.Tiles.back().Port = port;
    return m_view.Tiles.back();
}

void CBoardState::PlanNow(const PlanNews& plan) {
    m_view.Plan = plan;
}

// A device that came (or stands in place of another, by its serial number) starts its tile afresh; one
// that went leaves its last news on the tile until the next comes.
void CBoardState::PortsNow(const std::vector<StationPort>& present) {
    for (const StationPort& port : present) {
        TileOf(port.Name);
    }
    for (BoardTile& tile : m_view.Tiles) {
        const auto found = std::find_if(present.begin(), present.end(),
                                        [&](const StationPort& port) { return port.Name == tile.Port; });
        if (found != present.end() && (!tile.Device || tile.Serial != found->Serial)) {
            BoardTile fresh;
            fresh.Port = tile.Port;
            fresh.Serial = found->Serial;
            tile = fresh;
        }
        tile.Device = found != present.end();
    }
}

void CBoardState::PortNow(const PortNews& news) {
    BoardTile& tile = TileOf(news.Port);
    tile.Taken = true;
    tile.Serial = news.Serial;
    tile.Unit = news.Unit;
    tile.Address = news.Address;
    tile.Stage = news.Stage;
    tile.Percent = news.Percent;
    tile.StartMs = news.StartMs;
    tile.EndMs = news.NowMs;
    tile.Result = news.Result;
}

void CBoardState::PortProgress(const std::string& port, const ChildProgress& progress) {
    BoardTile& tile = TileOf(port);
    if (tile.Taken && IsAtWork(tile.Stage)) {
        tile.Stage = progress.Stage;
        tile.Percent = progress.Percent;
    }
}

void CBoardState::Said(const std::string& line) {
    const std::string now = m_clock.RecordTime();
    m_view.Events.push_back({ClockTime(now), now, line});
    while (m_view.Events.size() > BOARD_EVENTS) {
        m_view.Events.pop_front();
    }
}

void CBoardState::Stopped(int exit) {
    m_view.Running = false;
    m_view.Exit = exit;
}

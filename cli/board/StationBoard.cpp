// The station's live board: each piece of news folded into the state, which is published whole; portable.
#include "cli/board/StationBoard.h"

#include "cli/board/BoardJson.h"
#include "cli/board/BoardPage.h"

CStationBoard::CStationBoard(const std::vector<std::string>& ports, IStationClock* clock)
    : m_state(ports, clock), m_server(BOARD_PAGE, BOARD_PAGE_SIZE), m_clock(*clock) {}

bool CStationBoard::Open(const std::string& host, int port, std::string* error) {
    m_host = host;
    if (!m_server.Bind(host, port, error)) {
        return false;
    }
    Publish();
    return m_server.Start(error);
}

std::string CStationBoard::Address() const {
    const bool ipv6 = m_host.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + m_host + "]" : m_host) + ":" + std::to_string(m_server.Port()) + "/";
}

// On the station's thread: one JSON document per piece of news, handed over without waiting for a page.
void CStationBoard::Publish() {
    m_server.Publish(BoardJson(m_state.View(), m_clock.NowMs(), m_clock.RecordTime()));
}

void CStationBoard::PlanNow(const PlanNews& plan) {
    m_state.PlanNow(plan);
    Publish();
}

// The ports are looked at twice a second; pages hear of it only when a device came or went.
void CStationBoard::PortsNow(const std::vector<StationPort>& present) {
    const auto devices = [&] {
        std::vector<std::string> attached;
        for (const BoardTile& tile : m_state.View().Tiles) {
            attached.push_back(tile.Port + (tile.Device ? "\n" + tile.Serial : std::string()));
        }
        return attached;
    };
    const std::vector<std::string> before = devices();
    m_state.PortsNow(present);
    if (devices() != before) {
        Publish();
    }
}

void CStationBoard::PortNow(const PortNews& news) {
    m_state.PortNow(news);
    Publish();
}

void CStationBoard::PortProgress(const std::string& port, const ChildProgress& progress) {
    m_state.PortProgress(port, progress);
    Publish();
}

void CStationBoard::Said(const std::string& line) {
    m_state.Said(line);
    Publish();
}

void CStationBoard::Close(int exit) {
    m_state.Stopped(exit);
    Publish();
    m_server.Close();
}

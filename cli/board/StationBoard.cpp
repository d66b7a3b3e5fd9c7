// The station's live board: the feed's documents served over HTTP; portable.
#include "cli/board/StationBoard.h"

#include "cli/board/BoardPage.h"

CStationBoard::CStationBoard() : m_server(BOARD_PAGE, BOARD_PAGE_SIZE) {}

// The first board is there before the first page can ask for it.
bool CStationBoard::Open(const std::string& host, int port, CBoardFeed* feed, std::string* error) {
    m_host = host;
    if (!m_server.Bind(host, port, error)) {
        return false;
    }
    feed->Add(this, STATION_BOARD_PACE);
    return m_server.Start(error);
}

std::string CStationBoard::Address() const {
    const bool ipv6 = m_host.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + m_host + "]" : m_host) + ":" + std::to_string(m_server.Port()) + "/";
}

void CStationBoard::Publish(const std::string& document) {
    m_server.Publish(document);
}

void CStationBoard::Close() {
    m_server.Close();
}

// zrvlink provision --board: the station's live board, its state fed by the station's news and served
// over HTTP while the station runs; portable.
#pragma once

#include "cli/board/BoardServer.h"
#include "cli/board/BoardState.h"

#include <string>
#include <vector>

class CStationBoard : public IStationObserver {
public:
    // `ports`: those given on the command line, a tile each from the start.
    CStationBoard(const std::vector<std::string>& ports, IStationClock* clock);

    // Takes `host`:`port` and serves; false, with `error`, when the address cannot be taken.
    bool Open(const std::string& host, int port, std::string* error);
    // Where a browser finds it: "http://127.0.0.1:8480/".
    std::string Address() const;

    void PlanNow(const PlanNews& plan) override;
    void PortsNow(const std::vector<StationPort>& present) override;
    void PortNow(const PortNews& news) override;
    void PortProgress(const std::string& port, const ChildProgress& progress) override;
    void Said(const std::string& line) override;

    // The pages are told that the station ended with `exit`; then the board stops.
    void Close(int exit);

private:
    void Publish();

    CBoardState m_state;
    CBoardServer m_server;
    IStationClock& m_clock;
    std::string m_host;
};

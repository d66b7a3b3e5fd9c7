// zrvlink provision --board: the station's live board, served over HTTP while the station runs, each
// change of the board's feed at once; portable.
#pragma once

#include "cli/board/BoardFeed.h"
#include "cli/board/BoardServer.h"

#include <string>

class CStationBoard : public IBoardOutlet {
public:
    CStationBoard();

    // Takes `host`:`port`, takes the board from `feed` and serves; false, with `error`, when the address
    // cannot be taken.
    bool Open(const std::string& host, int port, CBoardFeed* feed, std::string* error);
    // Where a browser finds it: "http://127.0.0.1:8480/".
    std::string Address() const;

    // On the station's thread: handed over without waiting for a page.
    void Publish(const std::string& document) override;

    // Each page gets the last board published; then the board stops.
    void Close();

private:
    CBoardServer m_server;
    std::string m_host;
};

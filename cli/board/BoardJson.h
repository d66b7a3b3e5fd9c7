// The live boards' JSON documents: a station's and a line's, each on one line (a Server-Sent Event's
// data); portable.
#pragma once

#include "cli/board/BoardState.h"
#include "provisioning/ledger/Ledger.h"

#include <cstdint>
#include <string>

// The station's live board at `nowMs` (the station's steady clock) and `clockNow` (its record time), on
// one line (a Server-Sent Event's data):
// {"Station": {"Running": true, "Exit": null}, "Now": "2026-12-07T14:03:09+01:00",
//  "Plan": {"Units": 3, "Done": 1, "Held": 0, "Failed": 1, "Skipped": 0, "AtWork": 1, "ToGo": 0},
//  "Held": [{"Unit": "S-2", "Address": "192.168.1.12", "Port": "/dev/ttyACM1", "Serial": null,
//            "Instruction": "its write on ..."}],
//  "Ports": [{"Port": "/dev/ttyACM0", "Device": true, "Serial": "SN-A", "Unit": "S-3", "Address":
//             "192.168.1.13", "Stage": "writing", "Percent": 45, "Seconds": 3.1, "Result": "..."}],
//  "Events": [{"Time": "14:03:07", "At": "2026-12-07T14:03:07+01:00", "Line": "..."}]}
// A port whose device the station has not taken has null Unit, Address, Stage, Seconds and Result.
// Now, the station's clock as it made the document, lets a reader set its events on another clock.
std::string BoardJson(const BoardView& view, int64_t nowMs, const std::string& clockNow);

// A line's live board, in the shape of a station's (the same page shows it), with "Line" and "Stations"
// beside: {"Station": {"Running": true, "Exit": null}, "Line": {"Reachable": true, "Why": ""},
// "Stations": [{LedgerStationJson..., "Stale": false}], "Plan": {...}, "Held": [...], "Ports": [...],
// "Events": [...]}: the plan from the ledger's units, each port, held unit and event from its station's
// last board (with "Station"), events prefixed with the station and newest last; a station's document
// that does not read is passed over. A station that is not seen (cut off, or hung) is Stale. `why` says
// why the ledger could not be read; `running` false: the line's board itself has stopped.
// The events are ordered on the server's clock: each station's full times ("At") moved by how far its
// clock was from the server's when it published ("Now" against the ledger's time of publishing), and
// given so, in UTC, as "At"; "Time" stays the station's. An event of a station of an earlier zrvlink has
// "Time" alone: it is taken as the last such time of day, in the zone `utcOffsetMinutes` east (the line
// board's own), not after its document was published; one without a readable time comes first.
std::string LineBoardJson(const LedgerLine& line, bool reachable, const std::string& why, bool running,
                          int32_t utcOffsetMinutes);

// zrvlink's JSON documents: a configuration, a comparison and the port records, each the content of the
// command's text form, and the station's live board; portable. The only place that writes JSON.
#pragma once

#include "cli/front/SetupText.h"
#include "cli/station/BoardState.h"
#include "cli/system/Ports.h"
#include "core/ParamSet.h"
#include "provisioning/Ledger.h"

#include <cstdint>
#include <string>
#include <vector>

// {"BaudRate": 57600, "IPAddress": "192.168.0.10", ..., "Targets": [32 x {"Enable": true, "Address":
// "10.0.0.3", "Name": "AB", "NameHex": "4142"}]}: the setup file's keys as fields, addresses as dotted
// text. "Name" is the text that NameHex spells, or null where it spells none exactly (a pair that is no
// hexadecimal byte, an odd digit, a zero byte, bytes that are not UTF-8).
std::string SetupJson(const ParamSet& set);

// [{"Key": "Target3", "Left": "1,10.0.0.3", "Right": "0,10.0.0.3"}], values in setup-file syntax.
std::string DifferencesJson(const std::vector<SetupDifference>& differences);

// [{"Port": "/dev/ttyACM0", "Vid": "fe5a", "Pid": "0016", "Serial": "ZRV0012", "Location": "..."}]; a
// missing serial number or location is null.
std::string PortsJson(const std::vector<PortRecord>& records);

// {"Units": {"open": 2, "done": 28}, "Stations": [{"Name": "line-1", "LastSeen": "2026-...+00:00",
// "Running": true}]}
std::string LedgerStatusJson(const LedgerStatus& status);

// The station's live board at `nowMs` (the station's clock), on one line (a Server-Sent Event's data):
// {"Station": {"Running": true, "Exit": null},
//  "Plan": {"Units": 3, "Done": 1, "Held": 0, "Failed": 1, "Skipped": 0, "AtWork": 1, "ToGo": 0},
//  "Held": [{"Unit": "S-2", "Address": "192.168.1.12", "Port": "/dev/ttyACM1", "Serial": null,
//            "Instruction": "its write on ..."}],
//  "Ports": [{"Port": "/dev/ttyACM0", "Device": true, "Serial": "SN-A", "Unit": "S-3", "Address":
//             "192.168.1.13", "Stage": "writing", "Percent": 45, "Seconds": 3.1, "Result": "..."}],
//  "Events": [{"Time": "14:03:07", "Line": "..."}]}
// A port whose device the station has not taken has null Unit, Address, Stage, Seconds and Result.
std::string BoardJson(const BoardView& view, int64_t nowMs);

// A line's live board, in the shape of a station's (the same page shows it), with "Line" and "Stations"
// beside: {"Station": {"Running": true, "Exit": null}, "Line": {"Reachable": true, "Why": ""},
// "Stations": [{"Name": "line-1", "LastSeen": "...", "Running": true, "Stale": false}], "Plan": {...},
// "Held": [...], "Ports": [...], "Events": [...]}: the plan from the ledger's units, each port, held unit
// and event from its station's last board (with "Station"), events prefixed with the station and newest
// last. A station not seen for `staleMs` is Stale. `why` says why the ledger could not be read;
// `running` false: the line's board itself has stopped.
std::string LineBoardJson(const LedgerLine& line, bool reachable, const std::string& why, int64_t staleMs,
                          bool running = true);

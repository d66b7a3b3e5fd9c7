// zrvlink's JSON documents: a configuration, a comparison, the port records and the ledger's status,
// each the content of the command's text form; portable. The live boards' documents are in
// cli/board/BoardJson.h.
#pragma once

#include "cli/common/SetupText.h"
#include "cli/system/Ports.h"
#include "core/ParamSet.h"
#include "provisioning/ledger/Ledger.h"

#include <nlohmann/json_fwd.hpp>

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

// {"Name": "line-1", "Host": "pc-7", "LastSeen": "2026-...+00:00", "State": "not seen", "Running": false,
// "MayWriteUntil": "2026-...+00:00"}: MayWriteUntil only while the station is not seen, null otherwise.
nlohmann::ordered_json LedgerStationJson(const LedgerStationInfo& station);

// {"Units": {"open": 2, "done": 28}, "Stations": [LedgerStationJson, ...]}
std::string LedgerStatusJson(const LedgerStatus& status);

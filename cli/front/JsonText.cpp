// zrvlink's JSON documents, written with nlohmann-json; portable. Text that is not UTF-8 (a serial number,
// a stored name's digits) is written with U+FFFD in its place rather than failing the document.
#include "cli/front/JsonText.h"

#include "core/IPv4.h"
#include "core/NameCodec.h"
#include "core/ParamKeys.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

using Json = nlohmann::ordered_json;

namespace {

constexpr int INDENT = 2;

std::string Dump(const Json& document) {
    return document.dump(INDENT, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string Dotted(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", IPv4Octet(address, 0), IPv4Octet(address, 1),
                  IPv4Octet(address, 2), IPv4Octet(address, 3));
    return text;
}

Json ValueOf(const ParamSet& set, const ParamKey& key) {
    switch (key.Kind) {
    case VALUE_KIND_ADDRESS:
        return Dotted(static_cast<uint32_t>(GetParamKeyNumber(set, key)));
    case VALUE_KIND_TEXT:
        return std::string(GetParamKeyText(set, key), strnlen(GetParamKeyText(set, key), key.TextSize));
    default:
        return GetParamKeyNumber(set, key);
    }
}

bool IsUtf8(const std::string& text) {
    try {
        static_cast<void>(Json(text).dump());
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

// The name that `hex` spells exactly: it decodes when encoding the decoded text gives the digits back.
Json NameOf(const std::string& hex) {
    const std::string text = DecodeName(hex.c_str());
    char digits[TARGET_NAME_SIZE];
    EncodeName(text.c_str(), digits, NoLeadBytes);
    std::string upper = hex;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper == digits && IsUtf8(text) ? Json(text) : Json(nullptr);
}

Json TargetJson(const ParamTarget& target) {
    const std::string hex(target.Name, strnlen(target.Name, sizeof target.Name));
    return Json{{"Enable", target.Enable != 0},
                {"Address", Dotted(target.Address)},
                {"Name", NameOf(hex)},
                {"NameHex", hex}};
}

Json TextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
}

std::string HexId(uint16_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(id));
    return text;
}

// Seconds to a tenth.
Json Seconds(int64_t ms) {
    return std::round(static_cast<double>(ms) / 100.0) / 10.0;
}

Json PlanJson(const PlanNews& plan) {
    return Json{{"Units", plan.Units},   {"Done", plan.Done},       {"Held", plan.Held},
                {"Failed", plan.Failed}, {"Skipped", plan.Skipped}, {"AtWork", plan.AtWork},
                {"ToGo", plan.ToGo}};
}

Json HeldJson(const HeldNews& held) {
    return Json{{"Unit", held.Unit},
                {"Address", TextOrNull(held.Address)},
                {"Port", TextOrNull(held.Port)},
                {"Serial", TextOrNull(held.Serial)},
                {"Instruction", held.Instruction}};
}

Json TileJson(const BoardTile& tile, int64_t nowMs) {
    Json json{{"Port", tile.Port}, {"Device", tile.Device}, {"Serial", TextOrNull(tile.Serial)}};
    const bool working = tile.Taken && IsAtWork(tile.Stage);
    json["Unit"] = tile.Taken ? TextOrNull(tile.Unit) : Json(nullptr);
    json["Address"] = tile.Taken ? TextOrNull(tile.Address) : Json(nullptr);
    json["Stage"] = tile.Taken ? Json(StageWord(tile.Stage)) : Json(nullptr);
    json["Percent"] = tile.Taken ? tile.Percent : 0;
    json["Seconds"] = tile.Taken ? Seconds((working ? nowMs : tile.EndMs) - tile.StartMs) : Json(nullptr);
    json["Result"] = tile.Taken ? Json(tile.Result) : Json(nullptr);
    return json;
}

} // namespace

std::string SetupJson(const ParamSet& set) {
    Json document = Json::object();
    for (int i = 0; i < PARAM_KEY_COUNT; ++i) {
        document[PARAM_KEYS[i].Name] = ValueOf(set, PARAM_KEYS[i]);
    }
    Json& targets = document["Targets"] = Json::array();
    for (const ParamTarget& target : set.Target) {
        targets.push_back(TargetJson(target));
    }
    return Dump(document);
}

std::string DifferencesJson(const std::vector<SetupDifference>& differences) {
    Json document = Json::array();
    for (const SetupDifference& difference : differences) {
        document.push_back({{"Key", difference.Key}, {"Left", difference.Left}, {"Right", difference.Right}});
    }
    return Dump(document);
}

std::string PortsJson(const std::vector<PortRecord>& records) {
    Json document = Json::array();
    for (const PortRecord& record : records) {
        document.push_back({{"Port", record.Name},
                            {"Vid", HexId(record.Usb.Vid)},
                            {"Pid", HexId(record.Usb.Pid)},
                            {"Serial", TextOrNull(record.Usb.Serial)},
                            {"Location", TextOrNull(record.Usb.Location)}});
    }
    return Dump(document);
}

std::string LedgerStatusJson(const LedgerStatus& status) {
    Json units = Json::object();
    for (const auto& [state, count] : status.States) {
        units[state] = count;
    }
    Json stations = Json::array();
    for (const LedgerStationInfo& station : status.Stations) {
        stations.push_back(
            {{"Name", station.Name}, {"LastSeen", station.LastSeen}, {"Running", station.Running}});
    }
    return Dump({{"Units", units}, {"Stations", stations}});
}

std::string BoardJson(const BoardView& view, int64_t nowMs) {
    Json document{
        {"Station", {{"Running", view.Running}, {"Exit", view.Running ? Json(nullptr) : Json(view.Exit)}}},
        {"Plan", PlanJson(view.Plan)}};
    Json& held = document["Held"] = Json::array();
    for (const HeldNews& unit : view.Plan.HeldUnits) {
        held.push_back(HeldJson(unit));
    }
    Json& ports = document["Ports"] = Json::array();
    for (const BoardTile& tile : view.Tiles) {
        ports.push_back(TileJson(tile, nowMs));
    }
    Json& events = document["Events"] = Json::array();
    for (const BoardEvent& event : view.Events) {
        events.push_back({{"Time", event.Time}, {"Line", event.Line}});
    }
    return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {

int CountOf(const LedgerStatus& status, const char* state) {
    for (const auto& [name, count] : status.States) {
        if (name == state) {
            return count;
        }
    }
    return 0;
}

// A unit whose write began on a station that no longer runs is held for it, not at work.
Json LinePlanJson(const LedgerLine& line) {
    int units = 0;
    for (const auto& entry : line.Status.States) {
        units += entry.second;
    }
    const int open = CountOf(line.Status, "open");
    const auto stopped =
        static_cast<int>(std::count_if(line.Unsettled.begin(), line.Unsettled.end(),
                                       [](const LedgerUnsettledUnit& unit) { return unit.Stopped; }));
    return {{"Units", units},
            {"Done", CountOf(line.Status, "done")},
            {"Held", CountOf(line.Status, "held") + stopped},
            {"Failed", line.FailedWaiting},
            {"Skipped", CountOf(line.Status, "skipped")},
            {"AtWork", CountOf(line.Status, "started") - stopped},
            {"ToGo", open - line.FailedWaiting}};
}

} // namespace

std::string LineBoardJson(const LedgerLine& line, bool reachable, const std::string& why, int64_t staleMs,
                          bool running) {
    Json stations = Json::array();
    Json ports = Json::array();
    std::vector<std::pair<std::string, std::string>> events; // time, line
    for (const LedgerStationBoard& board : line.Boards) {
        stations.push_back({{"Name", board.Station},
                            {"LastSeen", board.LastSeen},
                            {"Running", board.Running},
                            {"Stale", board.Running && board.AgeMs > staleMs}});
        const Json published = Json::parse(board.Board, nullptr, false);
        if (!published.is_object()) {
            continue;
        }
        for (Json port : published.value("Ports", Json::array())) {
            port["Station"] = board.Station;
            ports.push_back(port);
        }
        for (const Json& event : published.value("Events", Json::array())) {
            events.emplace_back(event.value("Time", ""), board.Station + ": " + event.value("Line", ""));
        }
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    Json newest = Json::array();
    for (std::size_t i = events.size() > BOARD_EVENTS ? events.size() - BOARD_EVENTS : 0; i < events.size();
         ++i) {
        newest.push_back({{"Time", events[i].first}, {"Line", events[i].second}});
    }
    // The held units from the ledger, where every station's are, once each.
    Json held = Json::array();
    for (const LedgerUnsettledUnit& unit : line.Unsettled) {
        Json json = HeldJson(unit.Held);
        json["Station"] = unit.Station;
        held.push_back(json);
    }
    Json document{{"Station", {{"Running", running}, {"Exit", running ? Json(nullptr) : Json(0)}}},
                  {"Line", {{"Reachable", reachable}, {"Why", why}}},
                  {"Stations", stations},
                  {"Plan", LinePlanJson(line)},
                  {"Held", held},
                  {"Ports", ports},
                  {"Events", newest}};
    return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

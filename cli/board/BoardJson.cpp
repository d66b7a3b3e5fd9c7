// The live boards' JSON documents; the board's own file, as the state they show is the board's.
#include "cli/board/BoardJson.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <utility>

using Json = nlohmann::ordered_json;

namespace {

Json TextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(text);
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

// The live boards' JSON documents; the board's own file, as the state they show is the board's.
#include "cli/board/BoardJson.h"

#include "cli/common/JsonText.h"

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

namespace {

// A member of a station's published document, when it is text; a document written by hand or by another
// program is read for what is sound in it, never trusted.
std::string TextField(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

const Json& ArrayField(const Json& object, const char* key) {
    static const Json none = Json::array();
    const auto found = object.find(key);
    return found != object.end() && found->is_array() ? *found : none;
}

// Each station's ports and events, from its last document; one that does not read is passed over.
void AddPublished(const LedgerStationBoard& board, Json* ports,
                  std::vector<std::pair<std::string, std::string>>* events) {
    const Json published = Json::parse(board.Board, nullptr, false);
    if (!published.is_object()) {
        return;
    }
    for (const Json& port : ArrayField(published, "Ports")) {
        if (port.is_object() && !TextField(port, "Port").empty()) {
            Json shown = port;
            shown["Station"] = board.Info.Name;
            ports->push_back(shown);
        }
    }
    for (const Json& event : ArrayField(published, "Events")) {
        if (event.is_object()) {
            events->emplace_back(TextField(event, "Time"), board.Info.Name + ": " + TextField(event, "Line"));
        }
    }
}

} // namespace

std::string LineBoardJson(const LedgerLine& line, bool reachable, const std::string& why, bool running) {
    Json stations = Json::array();
    Json ports = Json::array();
    std::vector<std::pair<std::string, std::string>> events; // time, line
    for (const LedgerStationBoard& board : line.Boards) {
        Json station = LedgerStationJson(board.Info);
        station["Stale"] = board.Info.State == LedgerStationState::NotSeen;
        stations.push_back(station);
        AddPublished(board, &ports, &events);
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

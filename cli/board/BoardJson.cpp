// The live boards' JSON documents; the board's own file, as the state they show is the board's.
#include "cli/board/BoardJson.h"

#include "cli/common/JsonText.h"
#include "provisioning/Record.h"

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

std::string BoardJson(const BoardView& view, int64_t nowMs, const std::string& clockNow) {
    Json document{
        {"Station", {{"Running", view.Running}, {"Exit", view.Running ? Json(nullptr) : Json(view.Exit)}}},
        {"Now", TextOrNull(clockNow)},
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
        events.push_back({{"Time", event.Time}, {"At", TextOrNull(event.At)}, {"Line", event.Line}});
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

constexpr int64_t DAY_MS = 86400000;

// An event of the line, set on the server's clock.
struct LineEvent {
    bool Placed = false; // false: its time does not read; it comes first
    int64_t AtMs = 0;    // since 1970, on the server's clock
    std::string Time;    // as its station published it
    std::string Line;
};

int64_t FloorDiv(int64_t value, int64_t by) {
    return value / by - (value % by < 0 ? 1 : 0);
}

// "14:03:07" taken as the last such time of day, in the zone `utcOffsetMinutes` east, not after `beforeMs`.
bool TimeOfDayBefore(const std::string& time, int64_t beforeMs, int32_t utcOffsetMinutes, int64_t* atMs) {
    int64_t second = 0;
    if (time.size() != 8 || !ParseRecordTime("1970-01-01T" + time + "Z", &second)) {
        return false;
    }
    const int64_t offsetMs = int64_t{utcOffsetMinutes} * 60000;
    const int64_t local = beforeMs + offsetMs;
    int64_t at = FloorDiv(local, DAY_MS) * DAY_MS + second * 1000;
    at -= at > local ? DAY_MS : 0;
    *atMs = at - offsetMs;
    return true;
}

// Where an event of `board` stands on the server's clock. `skewMs`: how far the station's clock was
// behind the server's when it published.
LineEvent EventOf(const Json& event, const LedgerStationBoard& board, int64_t skewMs,
                  int32_t utcOffsetMinutes) {
    LineEvent line{false, 0, TextField(event, "Time"), board.Info.Name + ": " + TextField(event, "Line")};
    int64_t at = 0;
    if (ParseRecordTime(TextField(event, "At"), &at)) {
        line.Placed = true;
        line.AtMs = at * 1000 + skewMs;
    } else if (board.PublishedMs >= 0) {
        line.Placed = TimeOfDayBefore(line.Time, board.PublishedMs, utcOffsetMinutes, &line.AtMs);
    }
    return line;
}

// Each station's ports and events, from its last document; one that does not read is passed over.
void AddPublished(const LedgerStationBoard& board, int32_t utcOffsetMinutes, Json* ports,
                  std::vector<LineEvent>* events) {
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
    int64_t now = 0;
    const bool knownClock = board.PublishedMs >= 0 && ParseRecordTime(TextField(published, "Now"), &now);
    const int64_t skewMs = knownClock ? board.PublishedMs - now * 1000 : 0;
    for (const Json& event : ArrayField(published, "Events")) {
        if (event.is_object()) {
            events->push_back(EventOf(event, board, skewMs, utcOffsetMinutes));
        }
    }
}

// The newest BOARD_EVENTS, oldest first, each with its full time on the server's clock, in UTC.
Json NewestEvents(std::vector<LineEvent> events) {
    std::stable_sort(events.begin(), events.end(), [](const LineEvent& a, const LineEvent& b) {
        return a.Placed != b.Placed ? !a.Placed : a.AtMs < b.AtMs;
    });
    Json newest = Json::array();
    for (std::size_t i = events.size() > BOARD_EVENTS ? events.size() - BOARD_EVENTS : 0; i < events.size();
         ++i) {
        const LineEvent& event = events[i];
        const Json at =
            event.Placed ? Json(FormatRecordTimeAt(FloorDiv(event.AtMs, 1000), 0)) : Json(nullptr);
        newest.push_back({{"Time", event.Time}, {"At", at}, {"Line", event.Line}});
    }
    return newest;
}

} // namespace

std::string LineBoardJson(const LedgerLine& line, bool reachable, const std::string& why, bool running,
                          int32_t utcOffsetMinutes) {
    Json stations = Json::array();
    Json ports = Json::array();
    std::vector<LineEvent> events;
    for (const LedgerStationBoard& board : line.Boards) {
        Json station = LedgerStationJson(board.Info);
        station["Stale"] = board.Info.State == LedgerStationState::NotSeen;
        stations.push_back(station);
        AddPublished(board, utcOffsetMinutes, &ports, &events);
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
                  {"Events", NewestEvents(std::move(events))}};
    return document.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The live board's state as /status.json gives it, from the station's news: tiles for ports given and
// found, a device that comes, goes or stands in place of another, progress that arrives late, the time
// of work in progress, the plan and its held units, the last twenty events and the station's end; each
// a row of one table, checked in the JSON document itself. Then the one feed that publishes it to both
// boards, and the line's board read from the stations' documents.
#include "cli/board/BoardState.h"
#include "cli/board/BoardFeed.h"
#include "cli/board/BoardJson.h"
#include "provisioning/Record.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <vector>

namespace {

class CFakeClock : public IStationClock {
public:
    int64_t Now = 0;
    std::string Time = "2026-12-07T14:03:07+01:00";
    int64_t NowMs() override { return Now; }
    std::string RecordTime() override { return Time; }
};

const char* const A = "/dev/ttyACM0";
const char* const B = "/dev/ttyACM1";

PortNews News(const char* port, PortStage stage, const char* result, int64_t startMs, int64_t nowMs) {
    const int percent = stage == PortStage::Done ? 100 : 0;
    return {port, "SN-A", "S-7", "192.168.1.17", stage, percent, startMs, nowMs, result};
}

// Each JSON pointer in `expected` (a JSON object) names its value in `document`.
void ExpectValues(const std::string& document, const char* expected) {
    const nlohmann::json json = nlohmann::json::parse(document, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << document;
    const nlohmann::json values = nlohmann::json::parse(expected);
    for (const auto& [pointer, value] : values.items()) {
        const nlohmann::json::json_pointer where(pointer);
        ASSERT_TRUE(json.contains(where)) << pointer << " in " << json.dump();
        EXPECT_EQ(value, json.at(where)) << pointer << " in " << json.dump();
    }
}

TEST(BoardState, StatusTellsWhatTheStationSaidOfEachPortAndThePlan) {
    const StationPort deviceA{A, "SN-A"};
    const StationPort deviceB{B, ""};
    const std::vector<StationPort> both{deviceA, deviceB};
    const PortNews done = News(A, PortStage::Done, "written and verified in 3.1 s", 0, 3100);
    PlanNews plan{5, 1, 0, 1, 1, 1, 1, {}};
    plan.HeldUnits.push_back({"S-2", "192.168.1.12", B, "", "its write on /dev/ttyACM1 ... --redo S-2 ..."});
    // The device on A done, then the ports found next.
    const auto doneThen = [&](std::vector<StationPort> next) {
        return [&, next](CBoardState& s) {
            s.PortsNow({deviceA});
            s.PortNow(done);
            s.PortsNow(next);
        };
    };
    const struct {
        const char* Name;
        std::function<void(CBoardState&)> Happen;
        const char* Expect; // JSON pointer: value
        int64_t JsonAtMs = 0;
        const char* Given = nullptr; // --port
    } cases[] = {
        {"a port given without a device asks for one", [](CBoardState&) {},
         R"({"/Ports/0/Port": "/dev/ttyACM0", "/Ports/0/Device": false, "/Ports/0/Stage": null,
             "/Ports/0/Unit": null, "/Station/Running": true, "/Station/Exit": null})",
         0, A},
        {"a port found with a device gets a tile, before the station takes the device",
         [&](CBoardState& s) { s.PortsNow({deviceA}); },
         R"({"/Ports/0/Port": "/dev/ttyACM0", "/Ports/0/Device": true, "/Ports/0/Serial": "SN-A",
             "/Ports/0/Stage": null})"},
        {"work in progress counts its seconds to now and moves with each step",
         [&](CBoardState& s) {
             s.PortsNow({deviceA});
             s.PortNow(News(A, PortStage::Writing, "read (ZRV-Link 2.4.1), writing", 1000, 2000));
             s.PortProgress(A, {PortStage::Verifying, 40});
         },
         R"({"/Ports/0/Stage": "verifying", "/Ports/0/Percent": 40, "/Ports/0/Seconds": 3.2,
             "/Ports/0/Unit": "S-7", "/Ports/0/Address": "192.168.1.17",
             "/Ports/0/Result": "read (ZRV-Link 2.4.1), writing"})",
         4150},
        {"an end keeps its seconds and a step that arrives after it changes nothing",
         [&](CBoardState& s) {
             s.PortsNow({deviceA});
             PortNews failed = News(A, PortStage::Failed,
                                    "failed (WARNING: communication error) before its save", 1000, 3500);
             failed.Percent = 45;
             s.PortNow(failed);
             s.PortProgress(A, {PortStage::Writing, 50});
         },
         R"({"/Ports/0/Stage": "failed", "/Ports/0/Percent": 45, "/Ports/0/Seconds": 2.5})", 9000},
        {"a device that went leaves its last news and asks for the next", doneThen({}),
         R"({"/Ports/0/Device": false, "/Ports/0/Stage": "done", "/Ports/0/Percent": 100})", 5000},
        {"another device in its place, by its serial number, starts the tile afresh", doneThen({{A, "SN-B"}}),
         R"({"/Ports/0/Device": true, "/Ports/0/Serial": "SN-B", "/Ports/0/Stage": null,
             "/Ports/0/Result": null})",
         5000},
        {"ports given come first, then ports in the order they were found",
         [&](CBoardState& s) { s.PortsNow(both); },
         R"({"/Ports/0/Port": "/dev/ttyACM1", "/Ports/1/Port": "/dev/ttyACM0", "/Ports/0/Serial": null})", 0,
         B},
        {"the plan at a glance and the held units with what to do", [&](CBoardState& s) { s.PlanNow(plan); },
         R"({"/Plan/Units": 5, "/Plan/Done": 1, "/Plan/Held": 1, "/Plan/Failed": 1, "/Plan/AtWork": 1,
             "/Plan/ToGo": 1, "/Plan/Skipped": 0, "/Held/0/Unit": "S-2", "/Held/0/Port": "/dev/ttyACM1",
             "/Held/0/Serial": null, "/Held/0/Instruction": "its write on /dev/ttyACM1 ... --redo S-2 ..."})"},
        {"the last twenty events, oldest first, each with the station's time",
         [](CBoardState& s) {
             for (int i = 1; i <= 25; ++i) {
                 s.Said("line " + std::to_string(i));
             }
         },
         R"({"/Events/0/Line": "line 6", "/Events/19/Line": "line 25", "/Events/19/Time": "14:03:07",
             "/Events/19/At": "2026-12-07T14:03:07+01:00", "/Now": "2026-12-07T14:03:07+01:00"})"},
        {"a station that ended says so, with its exit status", [&](CBoardState& s) { s.Stopped(31); },
         R"({"/Station/Running": false, "/Station/Exit": 31})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        CFakeClock clock;
        CBoardState state(c.Given ? std::vector<std::string>{c.Given} : std::vector<std::string>{}, &clock);
        c.Happen(state);
        ExpectValues(BoardJson(state.View(), c.JsonAtMs, clock.RecordTime()), c.Expect);
    }
}

class CFakeOutlet : public IBoardOutlet {
public:
    std::vector<nlohmann::json> Documents;
    void Publish(const std::string& document) override {
        Documents.push_back(nlohmann::json::parse(document));
    }
};

// Both boards follow the feed's one rule, each at its pace: a piece of news that changes what a board
// shows reaches the station's board at once and the line's board at its next publishing, a second later at
// most, never only with the heartbeat; a look that found the same devices reaches neither. Each row starts
// with both boards up to date, devices on A (given with --port) and B.
TEST(BoardFeed, BothBoardsShowEachChangeWithinTheirPaceAndALookThatChangedNothingIsNoNews) {
    const StationPort deviceA{A, "SN-A"};
    const StationPort deviceB{B, "SN-B"};
    const auto look = [](std::vector<StationPort> found) {
        return [found](CBoardFeed& f) { f.PortsNow(found); };
    };
    const ChildProgress step{PortStage::Reading, 40};
    const PlanNews plan{3, 1, 0, 0, 0, 0, 2, {}};
    const struct {
        const char* Fault; // what a board would miss without the rule
        std::function<void(CBoardFeed&)> Happen;
        bool News;
    } cases[] = {
        {"a device unplugged from a port given with --port, whose tile stays, waits for the heartbeat",
         look({deviceB}), true},
        {"a device in place of another, by its serial number, is not shown", look({{A, "SN-C"}, deviceB}),
         true},
        {"a port found anew gets no tile", look({deviceA, deviceB, {"COM9", ""}}), true},
        {"a look that found the same devices is published as news", look({deviceB, deviceA}), false},
        {"a device's stage is not shown",
         [](CBoardFeed& f) { f.PortNow(News(A, PortStage::Done, "written and verified", 0, 500)); }, true},
        {"a transfer's step is not shown", [&](CBoardFeed& f) { f.PortProgress(B, step); }, true},
        {"a line the station said is not shown", [](CBoardFeed& f) { f.Said("a line"); }, true},
        {"the plan is not shown", [&](CBoardFeed& f) { f.PlanNow(plan); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Fault);
        CFakeClock clock;
        CBoardFeed feed({A}, &clock);
        CFakeOutlet station;
        CFakeOutlet line;
        feed.Add(&station, STATION_BOARD_PACE);
        feed.Add(&line, LINE_BOARD_PACE);
        feed.PortsNow({deviceA, deviceB});
        clock.Now = LINE_BOARD_PACE.AtMostEveryMs;
        feed.Flush();
        const std::size_t stationBefore = station.Documents.size();
        const std::size_t lineBefore = line.Documents.size();
        clock.Now += 100;
        c.Happen(feed);
        EXPECT_EQ(stationBefore + (c.News ? 1 : 0), station.Documents.size()) << "the station's board";
        feed.Flush();
        EXPECT_EQ(lineBefore, line.Documents.size()) << "the line's board within its second";
        clock.Now = feed.NextDueMs();
        feed.Flush();
        ASSERT_EQ(lineBefore + 1, line.Documents.size()) << "the line's board at " << clock.Now;
        EXPECT_EQ(c.News, clock.Now < LINE_BOARD_PACE.AtLeastEveryMs) << "published by the heartbeat alone";
        for (const char* member : {"Ports", "Plan", "Events"}) {
            EXPECT_EQ(station.Documents.back()[member], line.Documents.back()[member]) << member;
        }
    }
}

LedgerStationBoard Published(const char* name, std::string board, LedgerStationState state) {
    LedgerStationBoard published;
    published.Info.Name = name;
    published.Info.LastSeen = "2026-12-07T14:03:07+00:00";
    published.Info.State = state;
    published.Board = std::move(board);
    return published;
}

// A line's board: each station's last board under its name, the plan from the ledger's units, the events
// of every station in time order, and a station not seen marked so; a station that stopped, the units
// done and the held unit's station show in ZrvlinkLedger's line board.
TEST(LineBoard, EachStationsBoardShowsUnderItsNameAndAStationNotSeenIsMarked) {
    CFakeClock clock;
    CBoardState busy({A}, &clock);
    busy.PortNow(News(A, PortStage::Writing, "read (ZRV-Link 2.4.1), writing", 0, 500));
    busy.Said("line of the busy station");
    LedgerLine line;
    line.Status.States = {{"done", 3}, {"started", 2}, {"held", 1}, {"open", 2}};
    line.FailedWaiting = 1;
    line.Unsettled = {{{"S-4", "192.168.7.24", "COM3", "", "see to it"}, "line-2", false},
                      {{"S-6", "192.168.7.26", "", "", "see to that"}, "line-3", true}};
    line.Boards = {
        Published("line-1", BoardJson(busy.View(), 1000, clock.RecordTime()), LedgerStationState::Running),
        Published("line-2",
                  "{\"Ports\": [{\"Port\": \"COM3\"}], \"Events\": [{\"Time\": \"14:03:01\", "
                  "\"Line\": \"older\"}]}",
                  LedgerStationState::NotSeen),
        Published("line-3", "", LedgerStationState::Stopped),
        Published("line-4", "not a board", LedgerStationState::Running)};
    const std::string json = LineBoardJson(line, true, "", true, 0);
    ExpectValues(json, R"({
        "/Stations/0/Stale": false, "/Stations/1/Stale": true, "/Stations/1/State": "not seen",
        "/Stations/2/Stale": false, "/Stations/2/State": "stopped", "/Stations/0/Running": true,
        "/Ports/0/Station": "line-1", "/Ports/0/Stage": "writing", "/Ports/1/Station": "line-2",
        "/Ports/1/Port": "COM3", "/Plan/Units": 8, "/Plan/AtWork": 1, "/Plan/Failed": 1, "/Plan/ToGo": 1,
        "/Plan/Held": 2, "/Held/0/Unit": "S-4", "/Held/1/Port": null, "/Held/1/Instruction": "see to that",
        "/Events/0/Line": "line-2: older", "/Events/1/Line": "line-1: line of the busy station",
        "/Line/Reachable": true, "/Station/Running": true})");
    EXPECT_EQ(2u, nlohmann::json::parse(json)["Ports"].size());
    ExpectValues(LineBoardJson(line, false, "server down", false, 0),
                 R"({"/Line/Reachable": false, "/Line/Why": "server down", "/Station/Running": false})");
}

int64_t MsAt(const char* time) {
    int64_t seconds = 0;
    EXPECT_TRUE(ParseRecordTime(time, &seconds)) << time;
    return seconds * 1000;
}

// The line's last events come in the order they happened, whatever the stations' clocks say: each
// station's full times set on the server's clock by how far the station's clock was from it when it
// published. East's midnight, west's zone five hours behind, a station whose clock is ten minutes late,
// and one of an earlier zrvlink that gives its times of day alone (read in the line board's zone, here
// east's, as the last such time before it published); what has no readable time comes first.
TEST(LineBoard, EventsComeInTheOrderTheyHappenedAcrossMidnightZonesAndAClockThatIsOff) {
    CFakeClock clock;
    CBoardState east({}, &clock);
    clock.Time = "2026-12-07T23:59:50+01:00";
    east.Said("before its midnight");
    clock.Time = "2026-12-08T00:00:10+01:00";
    east.Said("after its midnight");
    const int64_t published = MsAt("2026-12-07T23:00:30Z");
    const auto board = [&](const char* name, std::string document) {
        LedgerStationBoard station = Published(name, std::move(document), LedgerStationState::Running);
        station.PublishedMs = published;
        return station;
    };
    LedgerLine line;
    line.Boards = {
        board("east", BoardJson(east.View(), 0, "2026-12-08T00:00:30+01:00")),
        board("west", R"({"Now": "2026-12-07T18:00:30-05:00", "Events": [{"Time": "18:00:00",
                          "At": "2026-12-07T18:00:00-05:00", "Line": "five hours behind"}]})"),
        board("late", R"({"Now": "2026-12-07T22:50:30+00:00", "Events": [{"Time": "22:50:05",
                          "At": "2026-12-07T22:50:05+00:00", "Line": "its clock ten minutes late"}]})"),
        board("old", R"({"Events": [{"Time": "23:59:55", "Line": "before midnight"},
                                    {"Time": "00:00:20", "Line": "after midnight"},
                                    {"Time": "noon", "Line": "no time"}]})"),
    };
    const nlohmann::json events = nlohmann::json::parse(LineBoardJson(line, true, "", true, 60))["Events"];
    const struct {
        const char* Line;
        const char* At; // on the server's clock; null: none
        const char* Time;
    } expected[] = {
        {"old: no time", nullptr, "noon"},
        {"east: before its midnight", "2026-12-07T22:59:50+00:00", "23:59:50"},
        {"old: before midnight", "2026-12-07T22:59:55+00:00", "23:59:55"},
        {"west: five hours behind", "2026-12-07T23:00:00+00:00", "18:00:00"},
        {"late: its clock ten minutes late", "2026-12-07T23:00:05+00:00", "22:50:05"},
        {"east: after its midnight", "2026-12-07T23:00:10+00:00", "00:00:10"},
        {"old: after midnight", "2026-12-07T23:00:20+00:00", "00:00:20"},
    };
    ASSERT_EQ(std::size(expected), events.size()) << events.dump();
    for (std::size_t i = 0; i < events.size(); ++i) {
        SCOPED_TRACE(expected[i].Line);
        EXPECT_EQ(nlohmann::json(expected[i].Line), events[i]["Line"]) << events.dump();
        EXPECT_EQ(expected[i].At ? nlohmann::json(expected[i].At) : nlohmann::json(nullptr), events[i]["At"]);
        EXPECT_EQ(nlohmann::json(expected[i].Time), events[i]["Time"]);
    }
}

// A station's document in the ledger is another program's text as far as the line's board knows (a site's
// tool, a hand edit, an older zrvlink): whatever its members hold, the board keeps serving and shows what
// is sound in it.
TEST(LineBoard, DocumentWhoseMembersHaveOtherTypesIsReadForWhatIsSound) {
    const char* const documents[] = {
        R"({"Ports": "COM3", "Events": 7})",
        R"({"Ports": [3, "COM3", null, [1], {"Port": 5}], "Events": ["x", {"Time": 1, "Line": ["a"]}]})",
        R"([{"Port": "COM3"}])",
        R"({"Ports": [{"Port": "COM9", "Stage": 3}], "Events": [{"Time": "14:00:00"}]})",
        "{\"Ports\": [{\"Port\": \"COM\xff\"}]}",
    };
    LedgerLine line;
    for (const char* document : documents) {
        line.Boards.push_back(Published("line-x", document, LedgerStationState::Running));
    }
    const nlohmann::json shown = nlohmann::json::parse(LineBoardJson(line, true, "", true, 0));
    ASSERT_EQ(1u, shown["Ports"].size()) << shown.dump();
    EXPECT_EQ("COM9", shown["Ports"][0]["Port"]);
    EXPECT_EQ("line-x", shown["Ports"][0]["Station"]);
    ASSERT_EQ(2u, shown["Events"].size()) << shown.dump();
    EXPECT_EQ("14:00:00", shown["Events"][1]["Time"]);
}

} // namespace

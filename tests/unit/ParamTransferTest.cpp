// The transfer engine against the in-process fake port and the recording reply event: command order and
// bytes, progress, events, failures and their trace lines, the time each reply is given, stop requests,
// and a start that waits for the transfer before.
#include "devicelink/ParamTransfer.h"

#include "FakeEvent.h"
#include "FakePortKit.h"
#include "SampleParams.h"
#include "TestFiles.h"
#include "TransferRun.h"
#include "core/IPv4.h"
#include "persistence/ParamFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// A device that holds the sample configuration and answers every command the way a healthy ZRV-Link does.
std::string HealthyDevice(const std::string& line) {
    static const std::map<std::string, std::string> replies = [] {
        std::map<std::string, std::string> gets = {
            {"\x1Bvers\r", "\r\nZRV 1.0\r\n>"},
            {"baudrate\r", "57600\r\n>"},
            {"netparam\r", "address 192.168.0.10\r\nnetmask 255.255.255.0\r\ngateway 192.168.0.1\r\n>"},
            {"save\r", "OK\r\n>"}};
        for (int i = 0; i < TARGET_COUNT; ++i) {
            const std::string index = " " + std::to_string(i) + "\r";
            gets["target" + index] = "10.0.0." + std::to_string(i) + "\r\n>";
            gets["enable" + index] = i % 3 == 0 ? "1\r\n>" : "0\r\n>";
            gets["name" + index] = i % 2 == 0 ? "5A5256\r\n>" : "\r\n>";
        }
        return gets;
    }();
    const auto reply = replies.find(line);
    return reply != replies.end() ? reply->second : "\r\n>"; // set commands and "update"
}

// A device that answers like HealthyDevice except for lines that begin with `prefix`.
FakePortScript Except(const std::string& prefix, const std::string& reply) {
    FakePortScript script;
    script.Respond = [prefix, reply](const std::string& line) {
        return line.compare(0, prefix.size(), prefix) == 0 ? reply : HealthyDevice(line);
    };
    return script;
}

// A healthy device whose write `failAt` fails, or that hangs up at write `hangUpAt`, after its reply when
// `answered`.
FakePortScript Healthy(int failAt = -1, int hangUpAt = -1, bool answered = false) {
    FakePortScript script = Except("\x01never", "");
    script.FailWriteAt = failAt;
    script.HangUpAt = hangUpAt;
    script.AnswerBeforeHangUp = answered;
    return script;
}

struct Outcome {
    bool Ended = false;
    TransferEvents Seen;
    int32_t Result = -1;
    std::string Version;
    std::string Trace;
    FakePortLog Log;
    std::vector<unsigned> Waits; // the time-out of each wait for a reply
};

// One transfer on port 5 as its owner runs it: Init, SetCallback, Start, a wait for the final event, Stop.
// `stopFlag`, when given, is the engine's stop flag.
Outcome RunTransfer(const FakePortScript& script, int32_t readMode, ParamSet* set,
                    const std::atomic<bool>* stopFlag = nullptr) {
    FakePortReset(script);
    FakeEventReset();
    Outcome out;
    out.Trace = CaptureTrace("t", [&] {
        CParamTransfer engine;
        CTransferRecorder recorder;
        engine.SetStopFlag(stopFlag);
        engine.Init();
        engine.SetCallback(CTransferRecorder::Callback, &recorder);
        out.Ended = engine.Start(5, readMode, set) && recorder.WaitForEnd();
        engine.Stop();
        out.Result = engine.GetResult();
        out.Version = engine.GetVersion();
        out.Seen = recorder.Events();
    });
    out.Log = FakePortRecorded();
    out.Waits = FakeEventWaits();
    return out;
}

// START first, progress only in between, exactly one final event.
void ExpectEventFrame(const TransferEvents& seen, int32_t last) {
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(std::make_pair(int32_t{PT_EVENT_START}, int32_t{0}), seen.front());
    EXPECT_EQ(std::make_pair(last, int32_t{0}), seen.back());
    for (std::size_t i = 1; i + 1 < seen.size(); ++i) {
        EXPECT_EQ(PT_EVENT_PROGRESS, seen[i].first) << "event " << i;
    }
}

// The device protocol gives every reply 2000 ms: what each silent device costs a station's port, and what
// a slow device may take. Every wait is given exactly that, the one that runs out included.
constexpr unsigned REPLY_WAIT_MS = 2000;

// Each reply comes after a read that reports an error: that ends the engine's drain without losing the
// reply, which it takes at the next call.
TEST(CParamTransfer, ReadSendsItsNinetyNineCommandsFillsTheWholeRecordAndTracesEachValue) {
    FakePortScript script = Healthy();
    script.ReadErrorFirst = true;
    CParamFile scratch;
    Outcome out = RunTransfer(script, 1, scratch.GetParam());
    ASSERT_TRUE(out.Ended);
    EXPECT_EQ(PT_OK, out.Result);
    EXPECT_EQ((std::vector<int32_t>{5, 9600, 8, 'N', 1, 0, 0, 0}), out.Log.CreateArgs);
    std::vector<std::string> lines = {"\x1Bvers\r", "baudrate\r", "netparam\r"};
    for (int i = 0; i < TARGET_COUNT; ++i) {
        for (const char* word : {"target", "enable", "name"}) {
            lines.push_back(std::string(word) + " " + std::to_string(i) + "\r");
        }
    }
    EXPECT_EQ(lines, out.Log.Lines);
    EXPECT_EQ(std::vector<unsigned>(lines.size(), REPLY_WAIT_MS), out.Waits);
    EXPECT_EQ(1, out.Log.Destroyed);

    EXPECT_TRUE(SameRecord(SampleParamSet(), *scratch.GetParam()));

    ExpectEventFrame(out.Seen, PT_EVENT_DONE);
    EXPECT_EQ("ZRV 1.0", out.Version);
}

ParamSet WriteSet(int32_t baudRate, uint32_t ipAddress) {
    CParamFile file;
    ParamSet set = *file.GetParam();
    set.BaudRate = baudRate;
    set.IPAddress = ipAddress;
    for (int i = 0; i < TARGET_COUNT; ++i) {
        set.Target[i].Address = i == 2 ? 0 : MakeIPv4(10, 0, 1, i);
        set.Target[i].Enable = i == 3 ? 7 : i == 2 ? 1 : i % 2;
        std::snprintf(set.Target[i].Name, TARGET_NAME_SIZE, "%s", i == 5 ? "" : "4142");
    }
    return set;
}

// A destination at the device's own address (the last case's) is sent disabled, and so changed in the
// passed set; without an own address none is, not even one at 0.0.0.0.
TEST(CParamTransfer, WriteSendsOptionalLinesOnlyWhenSetAndEndsWithSaveAndUpdate) {
    const uint32_t own = MakeIPv4(10, 0, 1, 7);
    const struct {
        int32_t BaudRate;
        uint32_t IPAddress;
        int Steps;
        const char* NetParam; // the line, when one is sent
    } cases[] = {{38400, MakeIPv4(192, 168, 0, 10), 37, "netparam 192.168.0.10 0.0.0.0 0.0.0.0\r"},
                 {0, 0, 35, nullptr},
                 {38400, 0, 36, nullptr},
                 {0, own, 36, "netparam 10.0.1.7 0.0.0.0 0.0.0.0\r"}};
    for (const auto& c : cases) {
        ParamSet set = WriteSet(c.BaudRate, c.IPAddress);
        Outcome out = RunTransfer(Healthy(), 0, &set);
        ASSERT_TRUE(out.Ended);
        EXPECT_EQ(PT_OK, out.Result);

        std::vector<std::string> expected = {"\x1Bvers\r"};
        if (c.BaudRate != 0) {
            expected.push_back("baudrate 38400\r");
        }
        if (c.NetParam != nullptr) {
            expected.push_back(c.NetParam);
        }
        for (int i = 0; i < TARGET_COUNT; ++i) {
            const std::string n = std::to_string(i);
            const bool enabled = c.IPAddress != MakeIPv4(10, 0, 1, i) && (i == 2 || i == 3 || i % 2 != 0);
            expected.push_back("target " + n + (i == 2 ? " 0.0.0.0\r" : " 10.0.1." + n + "\r"));
            expected.push_back("enable " + n + (enabled ? " 1\r" : " 0\r"));
            expected.push_back(i == 5 ? "clrname 5\r" : "name " + n + " 4142\r");
        }
        expected.push_back("save\r");
        expected.push_back("update\r");
        EXPECT_EQ(expected, out.Log.Lines) << c.Steps << " steps";
        EXPECT_EQ(std::vector<unsigned>(expected.size(), REPLY_WAIT_MS), out.Waits) << c.Steps << " steps";
        EXPECT_EQ(c.IPAddress == own ? 0 : 1, set.Target[7].Enable);
        EXPECT_EQ(1, set.Target[2].Enable);

        // START, a progress event per step, DONE.
        ExpectEventFrame(out.Seen, PT_EVENT_DONE);
        ASSERT_EQ(c.Steps + 2u, out.Seen.size());
        EXPECT_EQ(100 / c.Steps, out.Seen[1].second);
        EXPECT_EQ(100, out.Seen[out.Seen.size() - 2].second);
        // The station's children tell their parent that "save" comes next after this many reports.
        EXPECT_EQ(c.Steps - 2, WriteStepsBeforeSave(set));
    }
}

// The engine's stop flag in the failure runs; in zrvlink a signal handler sets it.
std::atomic<bool> Stop{false};

// A healthy device that asks for a stop while it answers `line`.
FakePortScript StopDuring(const std::string& line) {
    FakePortScript script;
    script.Respond = [line](const std::string& sent) {
        Stop = Stop || sent == line;
        return HealthyDevice(sent);
    };
    return script;
}

// A stop asked for from anywhere ends the transfer before its next command: the command on the line still
// gets its reply, and nothing is sent after it. A line that goes away (unplugged, hung up) ends it at once
// with a communication error: the reply that cannot come is not waited for, where a silent device's is;
// one that came before the line went still counts.
TEST(CParamTransfer, EachFailureAndStopEndsTheTransferWithItsResultAndTraceLine) {
    const struct {
        const char* What;
        FakePortScript Script;
        int32_t ReadMode;
        int32_t Result;
        const char* Trace;
        std::size_t LinesSent;
        std::size_t Waits;      // for replies
        bool StopFirst = false; // the stop flag is set before the start
    } cases[] = {
        {"write refused", Healthy(4), 1, PT_ERR_COMM, "WARNING: communication error\n", 5, 4},
        {"number rejected", Except("baudrate", "fast\r\n>"), 1, PT_ERR_COMM, "WARNING: parameter error\n", 2,
         2},
        {"netparam rejected", Except("netparam", "ADDRESS 1.2.3.4\r\n>"), 1, PT_ERR_COMM,
         "WARNING: parameter error\n", 3, 3},
        {"address rejected", Except("target 4", "10.0.0.256\r\n>"), 1, PT_ERR_COMM,
         "WARNING: parameter error\n", 3 + 13, 3 + 13},
        {"flag rejected", Except("enable 0", "yes\r\n>"), 1, PT_ERR_COMM, "WARNING: parameter error\n", 5, 5},
        {"name with a line break", Except("name 1\r", "41\r\n42\r\n>"), 1, PT_ERR_COMM,
         "WARNING: parameter error\n", 9, 9},
        {"save not OK", Except("save", "NG\r\n>"), 0, PT_ERR_HARDWARE, "WARNING: hardware error\n",
         1 + 96 + 1, 1 + 96 + 1},
        {"no reply", Except("baudrate", ""), 1, PT_ERR_COMM, "WARNING: communication timeout\n", 2, 2},
        {"stop before the start", Healthy(), 1, PT_ERR_COMM, "WARNING: transfer stopped\n", 0, 0, true},
        {"stop during the reply to target 3", StopDuring("target 3\r"), 1, PT_ERR_COMM,
         "WARNING: transfer stopped\n", 3 + 3 * 3 + 1, 3 + 3 * 3 + 1},
        {"read unplugged at target 3", Healthy(-1, 3 + 3 * 3), 1, PT_ERR_COMM,
         "WARNING: communication error\n", 3 + 3 * 3 + 1, 3 + 3 * 3},
        {"write unplugged at enable 6", Healthy(-1, 1 + 3 * 6 + 1), 0, PT_ERR_COMM,
         "WARNING: communication error\n", 1 + 3 * 6 + 2, 1 + 3 * 6 + 1},
        // Its line's end after the last reply is no failure: the write went through.
        {"write unplugged right after its reply to update", Healthy(-1, 1 + 3 * TARGET_COUNT + 1, true), 0,
         PT_OK, "done..\n", 1 + 3 * TARGET_COUNT + 2, 1 + 3 * TARGET_COUNT + 1},
    };
    for (const auto& c : cases) {
        ParamSet set = WriteSet(0, 0);
        Stop = c.StopFirst;
        Outcome out = RunTransfer(c.Script, c.ReadMode, &set, &Stop);
        ASSERT_TRUE(out.Ended) << c.What;
        EXPECT_EQ(c.Result, out.Result) << c.What;
        EXPECT_NE(std::string::npos, out.Trace.find(c.Trace)) << c.What << ": " << out.Trace;
        EXPECT_EQ(c.LinesSent, out.Log.Lines.size()) << c.What << ": nothing is sent after a failure";
        EXPECT_EQ(std::vector<unsigned>(c.Waits, REPLY_WAIT_MS), out.Waits) << c.What;
        ExpectEventFrame(out.Seen, c.Result == PT_OK ? PT_EVENT_DONE : PT_EVENT_ERROR);
    }
}

// One engine started again while its transfer may still run: the fake refuses to open a port that is
// still open, so the second start must wait for the first. Failed starts show in zrvlink's runs.
TEST(CParamTransfer, EachStartWaitsForTheTransferBefore) {
    FakePortReset(Healthy());
    CParamTransfer engine;
    CTransferRecorder recorder;
    CParamFile first, second;
    ASSERT_TRUE(engine.Init());
    engine.SetCallback(CTransferRecorder::Callback, &recorder);
    ASSERT_TRUE(engine.Start(5, 1, first.GetParam()));
    ASSERT_TRUE(engine.Start(5, 1, second.GetParam()));
    ASSERT_TRUE(recorder.WaitForEnd());
    engine.Stop();
    std::vector<int32_t> finals;
    for (const auto& e : recorder.Events()) {
        if (e.first != PT_EVENT_PROGRESS) {
            finals.push_back(e.first);
        }
    }
    EXPECT_EQ((std::vector<int32_t>{PT_EVENT_START, PT_EVENT_DONE, PT_EVENT_START, PT_EVENT_DONE}), finals);
    EXPECT_EQ(2, FakePortRecorded().Opened);
    EXPECT_EQ(57600, second.GetParam()->BaudRate);
}

} // namespace

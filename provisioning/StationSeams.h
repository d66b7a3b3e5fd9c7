// What the provisioning station needs of the world around it: the device ports present now, a process
// per port that reads or writes its device, a clock, a console for its lines, and an optional observer
// of what it does (the live board); portable interfaces, implemented by the command line over the
// system and by fakes in the tests.
#pragma once

#include "core/ParamSet.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct StationPort {
    std::string Name;
    std::string Serial; // the USB serial number; empty when the system shows none
};

class IStationPorts {
public:
    virtual ~IStationPorts() = default;
    // The ports with a device now, each once, in the order they are to be served.
    virtual std::vector<StationPort> Present() = 0;
};

// How a port's child ended, as far as the station can tell.
enum class ChildEndKind {
    Reported,   // it exited by itself (also on a stop it was asked for) and its report was read whole
    Unreadable, // it crashed, was killed, or exited without a whole report: it may have done anything
    NotStarted, // it never ran: nothing reached the device
};

struct ChildOutcome {
    ChildEndKind Kind = ChildEndKind::Unreadable;
    int Status = -1;            // the exit status; -1 when there is none
    bool PortNotOpened = false; // Reported: the port did not open, so no byte went to the device
    bool SaveNext = false;      // the child told that "save" comes next
    bool StopAsked = false;     // the station asked it to stop
    std::string Version;        // the device's answer to "vers"
    std::string Message;        // its result line, or what is known of its end
    bool HasDevice = false;     // a read that succeeded: the device's configuration, whole
    ParamSet Device{};
};

// Where a port's device stands, as an observer is told.
enum class PortStage {
    Reading,   // its configuration is read
    Writing,   // its unit is written
    Verifying, // its unit is read back and compared
    Done,
    Failed, // nothing of the unit stays on it; the unit waits for the next device
    Held,   // its write may have reached the device's save: the operator decides
    Left,   // not written: it holds a unit that stays as it is, or the station is stopping
};

// "reading", "done", ...: the stage in words, as the boards, /status.json and a child's progress lines
// give it.
const char* StageWord(PortStage stage);

inline bool IsAtWork(PortStage stage) {
    return stage == PortStage::Reading || stage == PortStage::Writing || stage == PortStage::Verifying;
}

// How far a child at work has got, as it last told.
struct ChildProgress {
    PortStage Stage = PortStage::Reading;
    int Percent = -1; // of the stage's transfer, 0 to 100; -1 before the first step
};

// One port's child at work.
class IPortChild {
public:
    virtual ~IPortChild() = default;
    // One look without waiting; true once the child has ended (a child past its time limit, or one
    // that does not stop in time after Stop, is ended by the implementation).
    virtual bool HasEnded() = 0;
    // Asks the child to end its transfer before its next command; it is ended at once after a grace.
    virtual void Stop() = 0;
    // Meaningful once HasEnded is true.
    virtual ChildOutcome Outcome() const = 0;
    // What it has told so far of its transfer; looked at while it runs.
    virtual ChildProgress Progress() { return {}; }
};

class IStationChildren {
public:
    virtual ~IStationChildren() = default;
    // A child that reads the device on `port`. Never null: one that did not start has ended.
    virtual std::unique_ptr<IPortChild> StartRead(const std::string& port) = 0;
    // A child that writes `unit` to the device on `port`, then reads it back and compares.
    virtual std::unique_ptr<IPortChild> StartWrite(const std::string& port, const ParamSet& unit) = 0;
};

class IStationClock {
public:
    virtual ~IStationClock() = default;
    // Milliseconds on a clock that only moves forward.
    virtual int64_t NowMs() = 0;
    // The record's time stamp of this moment.
    virtual std::string RecordTime() = 0;
};

class IStationConsole {
public:
    virtual ~IStationConsole() = default;
    // One line for the operator; false when it could not be written (the output went away).
    virtual bool Say(const std::string& line) = 0;
};

// A port's device as the station sees it at an event.
struct PortNews {
    std::string Port;
    std::string Serial;
    std::string Unit;    // the unit it is given or holds; empty when none
    std::string Address; // that unit's own address, dotted
    PortStage Stage = PortStage::Reading;
    int Percent = 0;     // of the stage's transfer
    int64_t StartMs = 0; // when the station took the device, on its clock
    int64_t NowMs = 0;
    std::string Result; // what the station said of it, in words
};

// A unit whose write may have reached its device's save, and what the operator must do about it.
struct HeldNews {
    std::string Unit;
    std::string Address;
    std::string Port;   // where its device was; empty when the record does not say
    std::string Serial; // that device's USB serial number, where one was seen
    std::string Instruction;
};

// The plan at a glance; the counts add up to Units.
struct PlanNews {
    std::size_t Units = 0;
    std::size_t Done = 0;
    std::size_t Skipped = 0;
    std::size_t Held = 0;   // their writes may have reached a device's save
    std::size_t Failed = 0; // failed before their save: waiting for the next device
    std::size_t AtWork = 0;
    std::size_t ToGo = 0; // never tried, or given back by --redo
    std::vector<HeldNews> HeldUnits;
};

// Told what the station does, on the station's thread, as it happens; it must not make the station
// wait (the live board publishes and returns).
class IStationObserver {
public:
    virtual ~IStationObserver() = default;
    // At the start, after every row of the record, and after each PortNow.
    virtual void PlanNow(const PlanNews& plan) = 0;
    // The ports with a device, at every look.
    virtual void PortsNow(const std::vector<StationPort>& present) = 0;
    // A device taken, at each change of its stage and at its end.
    virtual void PortNow(const PortNews& news) = 0;
    // A step of a child's transfer.
    virtual void PortProgress(const std::string& port, const ChildProgress& progress) = 0;
    // Every line said to the operator.
    virtual void Said(const std::string& line) = 0;
};

// Ctrl-C as it comes, between the station's rounds too: a write never begins after one.
class IStationInterrupts {
public:
    virtual ~IStationInterrupts() = default;
    // How many have come so far (a request to end the process counts two).
    virtual int Count() = 0;
};

struct StationSeams {
    IStationPorts* Ports = nullptr;
    IStationChildren* Children = nullptr;
    IStationClock* Clock = nullptr;
    IStationConsole* Console = nullptr;
    IStationObserver* Observer = nullptr;     // optional
    IStationInterrupts* Interrupts = nullptr; // optional: only those given to Step count
};

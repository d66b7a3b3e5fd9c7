// What the provisioning station needs of the world around it: the device ports present now, a process
// per port that reads or writes its device, a clock, and a console for its lines; portable interfaces,
// implemented by the command line over the system and by fakes in the tests.
#pragma once

#include "core/ParamSet.h"

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

struct StationSeams {
    IStationPorts* Ports = nullptr;
    IStationChildren* Children = nullptr;
    IStationClock* Clock = nullptr;
    IStationConsole* Console = nullptr;
};

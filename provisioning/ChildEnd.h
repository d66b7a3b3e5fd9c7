// What a port's child's end decides, as one table: from how the child ended (its stage and what its
// outcome says) to the record's row (its event and whether "save" may have been sent), what becomes of
// its unit and of its port, and what the station says; portable.
#pragma once

#include "provisioning/Record.h"
#include "provisioning/StationSeams.h"

#include <string>

enum class ChildStage { Reading, Writing };

// How a child ended, as far as its unit is concerned.
enum class ChildEndCase {
    ReadStopped,            // the station asked it to stop
    ReadNotReached,         // the port did not open, or the child never ran: nothing reached the device
    ReadWhole,              // the device's configuration came whole
    ReadFailed,             // any other read's end: nothing was written
    WriteWhole,             // reported whole with status 0: written and verified
    WriteNotReached,        // the port did not open, or the child never ran
    WriteFailedBeforeSave,  // reported whole, and it never told that "save" came next
    WriteMaybeSaved,        // it told that "save" came next and failed, or its end cannot be read whole
    WriteStoppedNotReached, // each of these three as above, ended by a stop the station asked for
    WriteStoppedBeforeSave,
    WriteStoppedMaybeSaved,
    WriteWithheld, // never started: a Ctrl-C came while its unit was claimed
};

// What becomes of the unit.
enum class UnitNext {
    Write,      // its write begins, unless the device holds a unit that stays as it is
    BackToPlan, // nothing of it stays on the device: the next device gets it
    Done,
    Held, // its write may have reached the device's save: no new device is taken; the operator decides
};

// What becomes of the port.
enum class PortNext {
    Served,     // taken again only once another device stands there
    Free,       // no byte reached its device: taken again at the next look
    TriedAgain, // its open failed: tried again now and then (quietly within a grace after it appeared)
};

struct ChildEndRule {
    ChildEndCase Case;
    bool Recorded; // a row is appended (ReadNotReached: once, after the grace)
    RecordEvent Event;
    SaveSent Save;
    UnitNext Unit;
    PortNext Port;
    PortStage Shown; // to the observer
    // The row's message, and the station's words of the device (Said, then what follows for the unit),
    // with {message} (the child's result), {seconds} (since the device was taken) and {device} (its port
    // and serial number) filled in.
    const char* Message;
    const char* Said;
    const char* SaidThen;
};

// The end of a child in `stage` whose outcome is `outcome`.
ChildEndCase ChildEndCaseOf(ChildStage stage, const ChildOutcome& outcome);
// Its row of the table.
const ChildEndRule& ChildEndRuleOf(ChildEndCase end);
// `text` (a rule's Message, or its Said and SaidThen) with {message}, {seconds} and {device} filled in.
std::string ChildEndWords(const std::string& text, const std::string& message, const std::string& seconds,
                          const std::string& device);

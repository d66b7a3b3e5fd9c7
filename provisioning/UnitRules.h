// How a unit's state moves with each row of the record, written once for the station's book and for the
// shared ledger, which applies the same rules inside its transactions; portable.
#pragma once

#include "provisioning/Record.h"

#include <string>

enum class UnitState {
    Open,     // waits for a device
    Reserved, // handed to a device that is being read (this run only; the record does not know it)
    Started,  // its write began and has not ended: running, or cut off when the station ended
    Held,     // its write failed or was interrupted after "save" may have reached the device
    Done,
    Skipped, // taken out of the plan by the operator
};

// "open", "reserved", "started", "held", "done", "skipped".
const char* UnitStateName(UnitState state);
// The state named `text` (as UnitStateName writes it); false for any other text.
bool ParseUnitStateName(const std::string& text, UnitState* state);

// Where a unit stands: its state and the station whose row put it there (empty in a record of one
// station).
struct UnitStanding {
    UnitState State = UnitState::Open;
    std::string Station;
    bool operator==(const UnitStanding& other) const {
        return State == other.State && Station == other.Station;
    }
};

// The standing after `row`. A write's end counts for a unit that is open, or from the station whose write
// the unit's is: a read that failed elsewhere says nothing of a unit another station holds, is done or
// skipped. A decision that does not fit the standing changes nothing.
UnitStanding NextStanding(const UnitStanding& now, const RecordRow& row);

// Whether the operator's decision fits a unit so standing: --redo gives back a unit whose write may be
// on a device (started, held) or a skipped one; --skip takes out any unit that is not done or skipped.
bool DecisionFits(UnitState state, RecordEvent decision);

// A unit whose configuration may be on a device, which no station overwrites.
bool MayBeOnADevice(UnitState state);

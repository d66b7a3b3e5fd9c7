// The unit-state rules; portable.
#include "provisioning/UnitRules.h"

namespace {

const struct {
    UnitState State;
    const char* Name;
} STATE_NAMES[] = {{UnitState::Open, "open"},       {UnitState::Reserved, "reserved"},
                   {UnitState::Started, "started"}, {UnitState::Held, "held"},
                   {UnitState::Done, "done"},       {UnitState::Skipped, "skipped"}};

bool IsWriteEnd(RecordEvent event) {
    return event == RecordEvent::Done || event == RecordEvent::Failed || event == RecordEvent::Interrupted;
}

// A write's end: done, or failed before "save" (nothing of the unit stays on the device), or held.
UnitState StateAfterEnd(const RecordRow& row) {
    if (row.Event == RecordEvent::Done) {
        return UnitState::Done;
    }
    return row.Save == SaveSent::No ? UnitState::Open : UnitState::Held;
}

} // namespace

const char* UnitStateName(UnitState state) {
    for (const auto& entry : STATE_NAMES) {
        if (entry.State == state) {
            return entry.Name;
        }
    }
    return "?";
}

bool ParseUnitStateName(const std::string& text, UnitState* state) {
    for (const auto& entry : STATE_NAMES) {
        if (text == entry.Name) {
            *state = entry.State;
            return true;
        }
    }
    return false;
}

bool DecisionFits(UnitState state, RecordEvent decision) {
    if (decision == RecordEvent::Redo) {
        return state == UnitState::Started || state == UnitState::Held || state == UnitState::Skipped;
    }
    return decision == RecordEvent::Skipped && state != UnitState::Done && state != UnitState::Skipped;
}

bool MayBeOnADevice(UnitState state) {
    return state == UnitState::Started || state == UnitState::Held || state == UnitState::Done ||
           state == UnitState::Skipped;
}

UnitStanding NextStanding(const UnitStanding& now, const RecordRow& row) {
    if (row.Event == RecordEvent::Started) {
        return {UnitState::Started, row.Station};
    }
    if (IsWriteEnd(row.Event)) {
        // A unit nobody writes takes any end as it comes (a record whose started row is missing; a write
        // whose end comes back after the operator gave the unit back, which then stays on its device).
        const bool itsWrite = now.State == UnitState::Started && now.Station == row.Station;
        const bool free = now.State == UnitState::Open || now.State == UnitState::Reserved;
        return itsWrite || free ? UnitStanding{StateAfterEnd(row), row.Station} : now;
    }
    if (!DecisionFits(now.State, row.Event)) {
        return now;
    }
    return {row.Event == RecordEvent::Redo ? UnitState::Open : UnitState::Skipped, row.Station};
}

// Where a station keeps its record: the CSV file of one station (CRecordLog) or a ledger that several
// stations share (CLedger); the seam between the station's rules and the store; portable interface.
#pragma once

#include "provisioning/Record.h"
#include "provisioning/UnitRules.h"

#include <string>
#include <vector>

enum class ClaimResult {
    Claimed,     // the started row is kept: the unit is this station's
    NoneFree,    // every unit is done, held, skipped or taken by a station
    Unreachable, // the store cannot be reached: no new device may be taken
    Failed,      // the store refused the row (`error` says why): nothing may go on
};

// A unit as a shared store holds it now.
struct StoredUnit {
    std::string Name;
    UnitStanding Standing;
};

class IRecordStore {
public:
    virtual ~IRecordStore() = default;

    // This station's name in the rows it appends; empty for a record without a Station column.
    virtual std::string Station() const { return std::string(); }
    // Whether other stations work on the same units.
    virtual bool Shared() const { return false; }

    // Every row so far, oldest first, other stations' included; read once, at the start.
    virtual std::vector<RecordRow> Load() = 0;

    // Rows that other stations appended since the last call (or Load), oldest first. Also the moment
    // to come back after the store went away. False while it cannot be reached.
    virtual bool Refresh(std::vector<RecordRow>* added) = 0;

    // Where every unit stands in a shared store now: its truth, which rows seen so far may lag behind.
    // False while it cannot be reached. A store of one station has nothing to add.
    virtual bool UnitsNow(std::vector<StoredUnit>* units) {
        units->clear();
        return true;
    }

    // Appends one of this station's rows; true once it is kept durably (on disk, committed, or in the
    // ledger's local journal while the ledger is away). False, with `error`, when it could not be kept.
    virtual bool Append(const RecordRow& row, std::string* error) = 0;

    // Appends the operator's decision (a --redo or --skip row) if it still fits the unit as the store
    // holds it: a shared store refuses one for a unit that another station may still be writing.
    // False, with `error` naming why and what the operator can do, when it is not kept.
    virtual bool Decide(const RecordRow& decision, std::string* error) { return Append(decision, error); }

    // Takes a unit for a device whose write is about to begin and appends its `started` row in the same
    // step, before the first byte goes to the device. The store takes started->Unit when it is still
    // free; a shared ledger otherwise takes the first free unit in plan order and sets Unit and Address.
    virtual ClaimResult Claim(RecordRow* started, std::string* error) = 0;

    // Lines for the operator that came up since the last call (a torn row cut at the start, the ledger
    // lost or back).
    virtual std::vector<std::string> TakeNotices() = 0;

    // The station has ended and nothing of it is at work: the last lines for the operator (events that
    // are kept only locally, and where).
    virtual std::vector<std::string> Close() { return {}; }
};

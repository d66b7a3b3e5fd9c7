// The ledger that several stations share on a PostgreSQL server: one plan, every station's events, and
// units claimed in transactions so that no unit goes to two devices; a store of the station's record
// (IRecordStore). Portable interface; Ledger_pq.cpp speaks to the server through libpq, Ledger_none.cpp
// stands for builds without it (Windows, for now).
#pragma once

#include "provisioning/Plan.h"
#include "provisioning/RecordLog.h"
#include "provisioning/RecordStore.h"
#include "provisioning/StationSeams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Whether this build has the ledger at all.
bool LedgerAvailable();

// The ledger's schema as this program writes it; an earlier one is upgraded, a later one refused.
// Version 2 keeps what each station's board shows.
constexpr int LEDGER_SCHEMA_VERSION = 2;

// What a station brings: the template and the units of its plan, which must be the ledger's.
struct LedgerPlan {
    ParamSet Template{};
    std::vector<PlanUnit> Units;
};

// The plan as one text (the template's and each unit's exact setup lines): two stations have the same
// plan when their texts are the same.
std::string LedgerPlanText(const LedgerPlan& plan);

// `url` without its password, for every message, trace and row.
std::string RedactedLedgerUrl(const std::string& url);

// The local journal's default place for `station` on the ledger `url`: below $XDG_STATE_HOME (or
// ~/.local/state)/zrvlink, named after the station, the server and the database.
std::string DefaultLedgerJournal(const std::string& url, const std::string& station);

enum class LedgerOpen {
    Opened,
    Unreachable, // the server cannot be reached now; try again later
    Refused,     // another plan, the station's name in use, a ledger of a later schema, no journal
};

class CLedger : public IRecordStore {
public:
    // `url`: a PostgreSQL connection URI or keyword string (a password may also come from PGPASSWORD,
    // PGSERVICE or ~/.pgpass, as for every PostgreSQL client); `journal`: the local file that keeps this
    // station's events while the server is away.
    CLedger(std::string url, std::string station, std::string journal);
    ~CLedger() override;
    CLedger(const CLedger&) = delete;
    CLedger& operator=(const CLedger&) = delete;

    // Connects, creates or upgrades the schema, creates the plan on an empty ledger or checks that
    // `plan` is the ledger's, takes the station's name for as long as the connection lives, and commits
    // what the journal kept from an earlier run. `error` says why it did not open.
    LedgerOpen Open(const LedgerPlan& plan, std::string* error);

    std::string Station() const override;
    std::vector<RecordRow> Load() override;
    bool Refresh(std::vector<RecordRow>* added) override;
    bool Append(const RecordRow& row, std::string* error) override;
    ClaimResult Claim(RecordRow* started, std::string* error) override;
    std::vector<std::string> TakeNotices() override;

    // What this station's board shows now (its JSON document), for the line's board: kept while the ledger
    // can be reached, dropped otherwise (a later one says more).
    void PublishBoard(const std::string& json);

private:
    struct State; // per backend
    std::unique_ptr<State> m_state;
};

// What `zrvlink ledger status` shows.
struct LedgerStationInfo {
    std::string Name;
    std::string LastSeen; // ISO 8601 with the UTC offset
    bool Running = false; // it holds its name now
};
struct LedgerStatus {
    std::vector<std::pair<std::string, int>> States; // every unit state with its count, in plan terms
    std::vector<LedgerStationInfo> Stations;
};

bool ReadLedgerStatus(const std::string& url, LedgerStatus* status, std::string* error);

// What a line's board shows: each station's own board as it last published it.
struct LedgerStationBoard {
    std::string Station;
    std::string Board;    // the station's board document (JSON); empty when it published none
    std::string LastSeen; // ISO 8601 with the UTC offset
    int64_t AgeMs = 0;    // since it was last seen
    bool Running = false; // it holds its name now
};
// A unit that waits for the operator: held, or started on a station that no longer runs.
struct LedgerUnsettledUnit {
    HeldNews Held;        // with its device and what to do
    std::string Station;  // where its write was
    bool Stopped = false; // started on a station that no longer runs
};
struct LedgerLine {
    LedgerStatus Status;
    int FailedWaiting = 0; // open units whose last event was a failure: they wait for the next device
    std::vector<LedgerUnsettledUnit> Unsettled; // in plan order
    std::vector<LedgerStationBoard> Boards;
};

bool ReadLedgerLine(const std::string& url, LedgerLine* line, std::string* error);

// Every event of every station, oldest first, each with its station.
bool ReadLedgerRows(const std::string& url, std::vector<RecordRow>* rows, std::string* error);

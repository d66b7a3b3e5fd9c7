// The ledger that several stations share on a PostgreSQL server: one plan, every station's events, units
// claimed in transactions so that no unit goes to two devices, and each station's name held by a lease
// that it renews; a store of the station's record (IRecordStore). Portable interface: the store
// (LedgerStore.cpp) and the reports (LedgerReports.cpp) speak to the server through a thin libpq layer
// (PgSession.h).
#pragma once

#include "provisioning/Plan.h"
#include "provisioning/RecordLog.h"
#include "provisioning/RecordStore.h"
#include "provisioning/StationSeams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The ledger's schema as this program writes it; an earlier one is upgraded in place, a later one
// refused. Version 2 keeps what each station's board shows; version 3 types the events' columns, keeps
// when the server received each event and which transaction added it, and holds each station's name
// by a lease.
constexpr int LEDGER_SCHEMA_VERSION = 3;

// How long a station that renews its lease counts as running after its last renewal (it renews every
// few seconds). After that it is "not seen" until its writes cannot run any longer, then "stopped".
constexpr int64_t LEDGER_LEASE_MS = 15000;

// The longest the server's answer to one statement may take before it counts as away.
constexpr int LEDGER_STATEMENT_MS = 5000;

// Ctrl-C seen so far by the process, for waits on the server that Ctrl-C cuts short; set once by the
// command line (none: waits run to their limits).
void SetLedgerInterrupts(int (*count)());

// What a station brings: the template and the units of its plan, which must be the ledger's.
struct LedgerPlan {
    ParamSet Template{};
    std::vector<PlanUnit> Units;
};

// The plan as one text (the template's and each unit's exact setup lines): two stations have the same
// plan when their texts are the same.
std::string LedgerPlanText(const LedgerPlan& plan);

// False, with `error`, when `url` does not read as a PostgreSQL URL or keyword string; the error never
// quotes it.
bool CheckLedgerUrl(const std::string& url, std::string* error);
// `url` as it may be shown: its host, hostaddr, port, dbname and user alone.
std::string RedactedLedgerUrl(const std::string& url);
// Whether `url` itself carries a password (which every user of the PC can read in the process list).
bool LedgerUrlHasPassword(const std::string& url);

// The local journal's default place for `station` on the ledger `url`: below the user's folder for
// state (Linux: $XDG_STATE_HOME or ~/.local/state; Windows: the local application data folder), in
// zrvlink/, named after the station, the server and the database.
std::string DefaultLedgerJournal(const std::string& url, const std::string& station);

// One run of a station on a ledger.
struct LedgerRun {
    std::string Url; // a PostgreSQL URI or keyword string; a password may also come from PGPASSWORD,
                     // PGSERVICE or the password file, as for every PostgreSQL client
    std::string Station;
    std::string Journal; // the local file that keeps this station's events while the server is away
    std::string Host;    // this PC's name
    // How long after its last contact with the ledger a write that this run began may still run: its
    // children's time limit and their stop grace, and the longest statement. Until then the station
    // counts as "not seen" and its units as possibly being written.
    int64_t WriteLimitMs = 0;
};

enum class LedgerOpen {
    Opened,
    Unreachable, // the server cannot be reached now; try again later
    Refused,     // another plan, the station's name in use, a ledger of a later schema, no journal, a
                 // server whose certificate fails the URL's checks
};

class CLedger : public IRecordStore {
public:
    explicit CLedger(LedgerRun run);
    ~CLedger() override;
    CLedger(const CLedger&) = delete;
    CLedger& operator=(const CLedger&) = delete;

    // Connects, creates or upgrades the schema, creates the plan on an empty ledger or checks that
    // `plan` is the ledger's, takes the station's name (refused while another run holds it or may still
    // be writing), and commits what the journal kept from an earlier run on this ledger and plan (a
    // journal of another is set aside). `error` says why it did not open.
    LedgerOpen Open(const LedgerPlan& plan, std::string* error);

    std::string Station() const override;
    bool Shared() const override { return true; }
    std::vector<RecordRow> Load() override;
    bool Refresh(std::vector<RecordRow>* added) override;
    bool UnitsNow(std::vector<StoredUnit>* units) override;
    bool Append(const RecordRow& row, std::string* error) override;
    bool Decide(const RecordRow& decision, std::string* error) override;
    ClaimResult Claim(RecordRow* started, std::string* error) override;
    std::vector<std::string> TakeNotices() override;
    std::vector<std::string> Close() override;

    // What this station's board shows now (its JSON document), for the line's board: kept while the
    // ledger can be reached, dropped otherwise (a later one says more).
    void PublishBoard(const std::string& json);

private:
    struct State; // per backend
    std::unique_ptr<State> m_state;
};

// Where a station stands, by its lease: running (renewed within LEDGER_LEASE_MS), not seen (cut off or
// hung: it may still be writing until MayWriteUntil), stopped (ended, or past that time).
enum class LedgerStationState { Running, NotSeen, Stopped };
// "running", "not seen", "stopped".
const char* LedgerStationStateName(LedgerStationState state);

// What `zrvlink ledger status` shows.
struct LedgerStationInfo {
    std::string Name;
    std::string Host;
    std::string LastSeen; // ISO 8601 with the UTC offset
    LedgerStationState State = LedgerStationState::Stopped;
    std::string MayWriteUntil; // NotSeen: ISO 8601; empty otherwise
};
struct LedgerStatus {
    std::vector<std::pair<std::string, int>> States; // every unit state with its count, in plan terms
    std::vector<LedgerStationInfo> Stations;
};

bool ReadLedgerStatus(const std::string& url, LedgerStatus* status, std::string* error);

// What a line's board shows: each station's own board as it last published it.
struct LedgerStationBoard {
    LedgerStationInfo Info;
    std::string Board;        // the station's board document (JSON); empty when it published none
    int64_t PublishedMs = -1; // when the server took it, on the server's clock (since 1970); -1: unknown
};
// A unit that waits for the operator: held, or started on a station that stopped.
struct LedgerUnsettledUnit {
    HeldNews Held;        // with its device and what to do
    std::string Station;  // where its write was
    bool Stopped = false; // started on a station that stopped
};
struct LedgerLine {
    LedgerStatus Status;
    int FailedWaiting = 0; // open units whose last event was a failure: they wait for the next device
    int NotSeenAtWork = 0; // started units of stations not seen: they may still be being written
    std::vector<LedgerUnsettledUnit> Unsettled; // in plan order
    std::vector<LedgerStationBoard> Boards;
};

bool ReadLedgerLine(const std::string& url, LedgerLine* line, std::string* error);

// Every event of every station, oldest first, each with its station.
bool ReadLedgerRows(const std::string& url, std::vector<RecordRow>* rows, std::string* error);

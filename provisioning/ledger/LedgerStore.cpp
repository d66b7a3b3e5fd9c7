// The station's store on the shared ledger: its name held by a lease, claims in transactions that check
// the unit against the plan, each event added once with the unit moved by the same rules as the
// station's book, the operator's decisions checked against the ledger's truth, every other station's
// event read however late its transaction committed, and a journal of its own while the server is away;
// portable (the server through PgSession.h).
#include "provisioning/ledger/Ledger.h"

#include "core/Counted.h"
#include "persistence/ExactSetup.h"
#include "platform/Process.h"
#include "provisioning/ledger/LedgerSchema.h"
#include "provisioning/ledger/PgSession.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// A lost server is tried again this often; a station renews its lease this often.
constexpr auto RECONNECT_EVERY = std::chrono::seconds(2);
constexpr auto RENEW_EVERY = std::chrono::seconds(2);
static_assert(PgLimits{}.StatementMs == LEDGER_STATEMENT_MS, "the station's write limit counts on it");

// A name for this run that no other run takes.
std::string NewRunId() {
    std::random_device random;
    const auto now = std::chrono::system_clock::now().time_since_epoch().count();
    char text[40];
    std::snprintf(text, sizeof text, "%08x%08llx", random(),
                  static_cast<unsigned long long>(now) & 0xFFFFFFFFull);
    return text;
}

// How the server tells this run's sessions apart (it keeps 63 bytes of it).
std::string ApplicationName(const std::string& run, const std::string& station) {
    return ("zrvlink " + run + " " + station).substr(0, 63);
}

std::string JournalPreamble(const LedgerIdentity& identity) {
    return "#zrvlink ledger journal; ledger " + identity.LedgerId + "; plan " + identity.PlanDigest;
}

// "ledger-a.csv" -> "ledger-a.set-aside-20261207T101500.csv", beside it.
std::string SetAsidePath(const std::string& path) {
    std::string stamp = RecordTimeNow().substr(0, 19);
    stamp.erase(std::remove(stamp.begin(), stamp.end(), '-'), stamp.end());
    stamp.erase(std::remove(stamp.begin(), stamp.end(), ':'), stamp.end());
    const std::filesystem::path original(path);
    std::filesystem::path aside = original;
    std::error_code ignored;
    for (int n = 1; n == 1 || std::filesystem::exists(aside, ignored); ++n) {
        const std::string again = n > 1 ? "-" + std::to_string(n) : "";
        aside.replace_filename(original.stem().string() + ".set-aside-" + stamp + again +
                               original.extension().string());
    }
    return aside.string();
}

std::string Events(std::size_t count) {
    return Counted(count, "event");
}

} // namespace

struct CLedger::State {
    enum class Link { Up, Away, Connecting, NameLost };

    LedgerRun Run;
    std::string RunId = NewRunId();
    std::vector<PlanUnit> Plan;
    LedgerIdentity Identity;
    CPgSession Session;
    std::unique_ptr<CRecordLog> Journal;
    std::vector<RecordRow> Loaded;
    std::vector<std::string> Notices;
    int64_t Xmin = 0;                // every event of a transaction before it has been read
    std::map<int64_t, int64_t> Seen; // events read whose transaction is not before Xmin: id -> txid
    Link Now = Link::Away;
    std::string NameLostWhy;
    Clock::time_point NextTry;
    Clock::time_point NextRenew;

    std::string Where() const { return "ledger " + RedactedLedgerUrl(Run.Url); }
    std::string Application() const { return ApplicationName(RunId, Run.Station); }
    bool Fail(std::string* error, const PgError& failure) const {
        *error = Where() + ": " + failure.Text();
        return false;
    }

    void LoseConnection(const PgError& failure) {
        if (Now == Link::Up) {
            Notices.push_back(Where() + " cannot be reached (" + failure.Text() +
                              "): no new device is taken; this station's events are kept in " + Run.Journal +
                              " until it is back");
        }
        Now = Now == Link::NameLost ? Now : Link::Away;
        NextTry = Clock::now() + RECONNECT_EVERY;
        Session.Close();
    }

    bool TakeName(std::string* error, PgError* failure);
    bool EndOldSession(int backendPid, const std::string& run);
    bool OpenJournal(std::string* error);
    bool AppendToLedger(const RecordRow& row, PgError* failure);
    bool Replay(std::size_t* replayed, PgError* failure);
    bool ReadEvents(const std::string& otherThan, std::vector<RecordRow>* rows, PgError* failure);
    bool Renew(PgError* failure);
    bool CheckIdentity(std::string* error, PgError* failure);
    bool Reconnect();
    bool CheckClaimed(const CPgResult& unit, std::string* error) const;
};

// The name is this run's, or free: never held, ended, past the time its writes could run, or held by a
// run on this PC whose process is gone (its children ended with it). Two live runs never share it.
bool CLedger::State::TakeName(std::string* error, PgError* failure) {
    CPgTransaction transaction(&Session);
    CPgResult held;
    const std::string select = "SELECT s.run, s.pid, s.backend_pid, " + STATION_COLUMNS +
                               " FROM zrvlink_station s WHERE s.name = $1 FOR UPDATE";
    if (!transaction.Begin("taking the station's name", failure) ||
        !Session.Exec("taking the station's name",
                      "INSERT INTO zrvlink_station (name, started, last_seen, stopped) "
                      "VALUES ($1, now(), now(), now()) ON CONFLICT (name) DO NOTHING",
                      {Run.Station}, failure) ||
        !Session.Exec("taking the station's name", select.c_str(), {Run.Station}, &held, failure) ||
        held.Rows() != 1) {
        return Fail(error, *failure);
    }
    const LedgerStationInfo info = StationAt(held, 0);
    const std::string oldRun = held.Text(0, "run");
    int64_t pid = 0;
    int64_t backend = 0;
    held.Int(0, "pid", &pid);
    held.Int(0, "backend_pid", &backend);
    const bool mine = oldRun == RunId;
    const bool gone =
        info.Host == Run.Host && pid != 0 && pid != CurrentProcessId() && !ProcessIsRunning(pid);
    if (!mine && info.State != LedgerStationState::Stopped && !gone) {
        const std::string where = " on " + (info.Host.empty() ? std::string("another PC") : info.Host);
        *error = Where() + ": station " + Run.Station +
                 (info.State == LedgerStationState::Running
                      ? " is running already" + where + " (process " + std::to_string(pid) + ", last seen " +
                            info.LastSeen + "); two stations may not share a name (--station)"
                      : where + " was last seen at " + info.LastSeen +
                            " (cut off from the ledger, or hung) and may still be writing until " +
                            info.MayWriteUntil +
                            "; two stations may not share a name: see to it, start this one under another "
                            "name (--station), or start it again after that time");
        failure->Lost = false;
        return false;
    }
    if (!Session.Exec(
            "taking the station's name",
            "UPDATE zrvlink_station SET run = $2, host = $3, pid = $4, backend_pid = pg_backend_pid(), "
            "lease_ms = $5, write_limit_ms = $6, last_seen = now(), stopped = NULL, "
            "started = CASE WHEN run = $2 THEN started ELSE now() END WHERE name = $1",
            {Run.Station, RunId, Run.Host, CurrentProcessId(), LEDGER_LEASE_MS, Run.WriteLimitMs}, failure) ||
        !transaction.Commit("taking the station's name", failure)) {
        return Fail(error, *failure);
    }
    if (gone && !mine && info.State != LedgerStationState::Stopped) {
        Notices.push_back(Where() + ": the earlier run of station " + Run.Station + " on this PC (process " +
                          std::to_string(pid) + ") ended without a word; its writes ended with it");
    }
    EndOldSession(static_cast<int>(backend), oldRun);
    NextRenew = Clock::now() + RENEW_EVERY;
    return true;
}

// A server session of an earlier connection of this name may live on where something between kept it
// open; it may hold locks, so it is ended.
bool CLedger::State::EndOldSession(int backendPid, const std::string& run) {
    PgError ignored;
    return backendPid == 0 || run.empty() || backendPid == Session.BackendPid() ||
           Session.Exec(
               "ending an old session of this station",
               "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE pid = $1 "
               "AND pid <> pg_backend_pid() AND datname = current_database() AND application_name = $2",
               {backendPid, ApplicationName(run, Run.Station)}, &ignored);
}

// The journal goes back to the ledger and plan it was kept for; one of another is set aside, kept.
bool CLedger::State::OpenJournal(std::string* error) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(Run.Journal).parent_path(), ignored);
    RecordLogForm form;
    form.Preamble = JournalPreamble(Identity);
    form.Readers = RecordFileReaders::OwnerOnly;
    Journal = std::make_unique<CRecordLog>();
    if (!Journal->Open(Run.Journal, error, form)) {
        return false;
    }
    for (const std::string& notice : Journal->TakeNotices()) {
        Notices.push_back(notice);
    }
    if (Journal->FoundPreamble() == form.Preamble) {
        return true;
    }
    if (Journal->Rows().empty()) {
        return Journal->Clear(error);
    }
    const std::size_t kept = Journal->Rows().size();
    const std::string aside = SetAsidePath(Run.Journal);
    Journal.reset();
    std::error_code renamed;
    std::filesystem::rename(Run.Journal, aside, renamed);
    if (renamed) {
        *error = "journal " + Run.Journal +
                 " belongs to another ledger or plan and cannot be set aside: " + renamed.message();
        return false;
    }
    Notices.push_back("journal " + Run.Journal +
                      " was kept for another ledger or plan (or by an earlier zrvlink " +
                      "that did not name them): its " + Events(kept) + (kept == 1 ? " is" : " are") +
                      " not committed here; it is kept as " + aside);
    Journal = std::make_unique<CRecordLog>();
    return Journal->Open(Run.Journal, error, form);
}

// One row in one transaction: the event once, and its unit moved by NextStanding.
bool CLedger::State::AppendToLedger(const RecordRow& row, PgError* failure) {
    CPgTransaction transaction(&Session);
    CPgResult unit;
    CPgResult added;
    if (!transaction.Begin("adding an event", failure) ||
        !Session.Exec("adding an event", "SELECT state, station FROM zrvlink_unit WHERE name = $1 FOR UPDATE",
                      {row.Unit}, &unit, failure) ||
        !Session.Exec("adding an event", INSERT_EVENT, EventValues(row), &added, failure)) {
        return false;
    }
    UnitStanding now;
    if (unit.Rows() == 1 && added.Rows() == 1 && ParseUnitStateName(unit.Text(0, "state"), &now.State)) {
        now.Station = unit.Text(0, "station");
        const UnitStanding next = NextStanding(now, row);
        if (!(next == now) &&
            !Session.Exec("adding an event",
                          "UPDATE zrvlink_unit SET state = $2, station = $3 WHERE name = $1",
                          {row.Unit, UnitStateName(next.State), next.Station}, failure)) {
            return false;
        }
    }
    return transaction.Commit("adding an event", failure);
}

// The journal holds this station's rows without its name (a record's form), which a run that reads it
// back gives them again: an end committed under no name would not end the station's own write.
bool CLedger::State::Replay(std::size_t* replayed, PgError* failure) {
    *replayed = 0;
    for (RecordRow row : Journal->Rows()) {
        row.Station = row.Station.empty() ? Run.Station : row.Station;
        if (!AppendToLedger(row, failure)) {
            return false;
        }
        ++*replayed;
    }
    std::string error;
    if (*replayed > 0 && !Journal->Clear(&error)) {
        *failure = PgError{"emptying the journal", error, "", false};
        return false;
    }
    return true;
}

// Every event not read yet, of stations other than `otherThan`. An event's id is taken when it is added
// and seen when its transaction commits, which may be later than an event of a higher id: what a
// transaction still running at the last read may have added is read again, and counted once.
bool CLedger::State::ReadEvents(const std::string& otherThan, std::vector<RecordRow>* rows,
                                PgError* failure) {
    const std::string sql =
        std::string("WITH snapshot AS (SELECT txid_snapshot_xmin(txid_current_snapshot()) AS xmin) "
                    "SELECT snapshot.xmin, ") +
        EVENT_COLUMNS +
        " FROM snapshot LEFT JOIN zrvlink_event e ON e.txid >= $1 AND e.station <> $2 ORDER BY e.id";
    CPgResult result;
    if (!Session.Exec("reading the other stations' events", sql.c_str(), {Xmin, otherThan}, &result,
                      failure)) {
        return false;
    }
    int64_t xmin = Xmin;
    for (int i = 0; i < result.Rows(); ++i) {
        int64_t id = 0;
        int64_t txid = 0;
        result.Int(i, "xmin", &xmin);
        if (result.Int(i, "id", &id) && result.Int(i, "txid", &txid) && Seen.emplace(id, txid).second) {
            rows->push_back(EventRowAt(result, i));
        }
    }
    Xmin = xmin;
    for (auto seen = Seen.begin(); seen != Seen.end();) {
        seen = seen->second < Xmin ? Seen.erase(seen) : std::next(seen);
    }
    return true;
}

// The lease, renewed; a run whose name another run has taken takes no device any more.
bool CLedger::State::Renew(PgError* failure) {
    CPgResult renewed;
    if (!Session.Exec("renewing the station's lease",
                      "UPDATE zrvlink_station SET last_seen = now(), backend_pid = pg_backend_pid() "
                      "WHERE name = $1 AND run = $2",
                      {Run.Station, RunId}, &renewed, failure)) {
        return false;
    }
    NextRenew = Clock::now() + RENEW_EVERY;
    if (renewed.Command() == "UPDATE 0") {
        Now = Link::NameLost;
        NameLostWhy = Where() + ": another run took the name of station " + Run.Station +
                      " while this one could not reach the ledger; this run takes no new device";
        Notices.push_back(NameLostWhy);
        return false;
    }
    return true;
}

// The ledger found again must be the one left: a database made anew meanwhile holds other units.
bool CLedger::State::CheckIdentity(std::string* error, PgError* failure) {
    CPgResult found;
    if (!Session.Exec("reading the ledger's identity", "SELECT ledger_id, plan_digest FROM zrvlink_ledger",
                      {}, &found, failure)) {
        return Fail(error, *failure);
    }
    if (found.Rows() == 1 && found.Text(0, "ledger_id") == Identity.LedgerId &&
        found.Text(0, "plan_digest") == Identity.PlanDigest) {
        return true;
    }
    *error = Where() + " is no longer the ledger this station began on (made anew, or its plan changed)";
    failure->Lost = false;
    return false;
}

bool CLedger::State::Reconnect() {
    PgError failure;
    if (Now == Link::Away) {
        if (Clock::now() < NextTry) {
            return false;
        }
        NextTry = Clock::now() + RECONNECT_EVERY;
        if (!Session.StartConnect(Run.Url, Application(), &failure)) {
            return false;
        }
        Now = Link::Connecting;
    }
    const CPgSession::Step step = Session.StepConnect(0, &failure);
    if (step != CPgSession::Step::Ready) {
        Now = step == CPgSession::Step::Pending ? Link::Connecting : Link::Away;
        return false;
    }
    std::string error;
    std::size_t replayed = 0;
    if (!CheckIdentity(&error, &failure) || !TakeName(&error, &failure) || !Replay(&replayed, &failure)) {
        if (!failure.Lost) {
            Now = Link::NameLost;
            NameLostWhy = error.empty() ? Where() + ": " + failure.Text() : error;
            Notices.push_back(NameLostWhy + "; this run takes no new device");
        } else {
            Now = Link::Away;
        }
        Session.Close();
        return false;
    }
    Now = Link::Up;
    Notices.push_back(Where() + " is back: " + Events(replayed) +
                      " kept here committed; new devices are taken again");
    return true;
}

// The unit the ledger offers must be the plan's, name, address and setup: a row changed by hand would
// put one address on a device under another unit's name.
bool CLedger::State::CheckClaimed(const CPgResult& unit, std::string* error) const {
    const std::string name = unit.Text(0, "name");
    const auto planned =
        std::find_if(Plan.begin(), Plan.end(), [&](const PlanUnit& p) { return p.Name == name; });
    std::string why;
    if (planned == Plan.end()) {
        why = "is not in this station's plan";
    } else if (unit.Text(0, "address") != AddressText(planned->Set.IPAddress)) {
        why = "has the address " + unit.Text(0, "address") + ", the plan " +
              AddressText(planned->Set.IPAddress);
    } else if (unit.Text(0, "setup") != FormatExactSetup(planned->Set)) {
        why = "has another setup than the plan's";
    } else {
        return true;
    }
    *error =
        Where() + ": its unit " + name + " (position " + unit.Text(0, "position") + ") " + why +
        ": the ledger was changed outside zrvlink; nothing was written, and the station takes no new device";
    return false;
}

CLedger::CLedger(LedgerRun run) : m_state(std::make_unique<State>()) {
    m_state->Run = std::move(run);
    WatchLedgerInterrupts(&m_state->Session);
}

CLedger::~CLedger() = default;

std::string CLedger::Station() const {
    return m_state->Run.Station;
}

LedgerOpen CLedger::Open(const LedgerPlan& plan, std::string* error) {
    State& s = *m_state;
    if (!PgAvailable(error)) {
        return LedgerOpen::Refused;
    }
    s.Plan = plan.Units;
    PgError failure;
    bool named = false;
    const auto fail = [&](const std::string& why) {
        *error = why;
        PgError ignored;
        // A name taken by a run that goes no further is given back at once.
        if (named) {
            s.Session.Exec("giving the name back",
                           "UPDATE zrvlink_station SET stopped = now() WHERE name = $1 AND run = $2",
                           {s.Run.Station, s.RunId}, &ignored);
        }
        s.Session.Close();
        return failure.Lost ? LedgerOpen::Unreachable : LedgerOpen::Refused;
    };
    if (!s.Session.Connect(s.Run.Url, s.Application(), &failure)) {
        *error = LedgerConnectError(s.Run.Url, failure);
        return failure.Untrusted ? LedgerOpen::Refused : LedgerOpen::Unreachable;
    }
    std::string why;
    {
        CPgTransaction transaction(&s.Session);
        if (!transaction.Begin("opening the ledger", &failure) ||
            !EnsureLedgerSchema(&s.Session, &why, &failure) ||
            !EnsureLedgerPlan(&s.Session, plan, s.Run.Station, &s.Identity, &why, &failure) ||
            !transaction.Commit("opening the ledger", &failure)) {
            return fail(s.Where() + ": " + (why.empty() ? failure.Text() : why));
        }
    }
    std::size_t replayed = 0;
    if (!s.TakeName(&why, &failure)) {
        return fail(why);
    }
    named = true;
    if (!s.OpenJournal(&why)) {
        failure.Lost = false;
        return fail(why);
    }
    if (!s.Replay(&replayed, &failure) || !s.ReadEvents(std::string(), &s.Loaded, &failure)) {
        return fail(s.Where() + ": " + failure.Text());
    }
    if (replayed > 0) {
        s.Notices.push_back(s.Where() + ": " + Events(replayed) + " kept in " + s.Run.Journal +
                            " by an earlier run committed");
    }
    s.Now = State::Link::Up;
    return LedgerOpen::Opened;
}

std::vector<RecordRow> CLedger::Load() {
    return std::move(m_state->Loaded);
}

bool CLedger::Refresh(std::vector<RecordRow>* added) {
    State& s = *m_state;
    added->clear();
    if (s.Now == State::Link::NameLost || (s.Now != State::Link::Up && !s.Reconnect())) {
        return false;
    }
    PgError failure;
    if (!s.ReadEvents(s.Run.Station, added, &failure) ||
        (Clock::now() >= s.NextRenew && !s.Renew(&failure))) {
        if (s.Now != State::Link::NameLost) {
            s.LoseConnection(failure);
        }
        return false;
    }
    return true;
}

bool CLedger::UnitsNow(std::vector<StoredUnit>* units) {
    State& s = *m_state;
    units->clear();
    CPgResult result;
    PgError failure;
    if (s.Now != State::Link::Up) {
        return false;
    }
    if (!s.Session.Exec("reading the units",
                        "SELECT name, state, station FROM zrvlink_unit ORDER BY position", {}, &result,
                        &failure)) {
        s.LoseConnection(failure);
        return false;
    }
    for (int i = 0; i < result.Rows(); ++i) {
        StoredUnit unit{result.Text(i, "name"), {}};
        unit.Standing.Station = result.Text(i, "station");
        if (ParseUnitStateName(result.Text(i, "state"), &unit.Standing.State)) {
            units->push_back(unit);
        }
    }
    return true;
}

bool CLedger::Append(const RecordRow& row, std::string* error) {
    State& s = *m_state;
    PgError failure;
    if (s.Now == State::Link::Up && s.AppendToLedger(row, &failure)) {
        return true;
    }
    if (s.Now == State::Link::Up && !failure.Lost) {
        return s.Fail(error, failure);
    }
    if (s.Now == State::Link::Up) {
        s.LoseConnection(failure);
    }
    return s.Journal->Append(row, error);
}

// A decision for a unit that a station may still be writing would put it on two devices: refused, with
// that station named, until the station stopped or can no longer be writing.
bool CLedger::Decide(const RecordRow& decision, std::string* error) {
    State& s = *m_state;
    if (s.Now != State::Link::Up) {
        *error = s.Where() + " cannot be reached: the decision on unit " + decision.Unit + " is not kept";
        return false;
    }
    const std::string what = decision.Event == RecordEvent::Redo ? "--redo " : "--skip ";
    const std::string sql = "SELECT u.state, u.station, " + STATION_COLUMNS +
                            " FROM zrvlink_unit u LEFT JOIN zrvlink_station s ON s.name = u.station "
                            "WHERE u.name = $1 FOR UPDATE OF u";
    CPgTransaction transaction(&s.Session);
    CPgResult unit;
    PgError failure;
    if (!transaction.Begin("deciding on a unit", &failure) ||
        !s.Session.Exec("deciding on a unit", sql.c_str(), {decision.Unit}, &unit, &failure)) {
        return s.Fail(error, failure);
    }
    UnitStanding now;
    if (unit.Rows() != 1 || !ParseUnitStateName(unit.Text(0, "state"), &now.State)) {
        *error = s.Where() + ": " + what + decision.Unit + ": the ledger has no such unit";
        return false;
    }
    now.Station = unit.Text(0, "station");
    const LedgerStationInfo writer = StationAt(unit, 0);
    const bool mayWrite = now.State == UnitState::Started && now.Station != s.Run.Station &&
                          writer.State != LedgerStationState::Stopped;
    if (mayWrite) {
        *error =
            s.Where() + ": " + what + decision.Unit + ": station " + now.Station +
            (writer.State == LedgerStationState::Running
                 ? " is writing it now (running on " + writer.Host + "); see to it there once its write ended"
                 : " on " + writer.Host + " was last seen at " + writer.LastSeen +
                       " and may still be writing it until " + writer.MayWriteUntil +
                       "; see to that station and its device, or decide after that time");
        return false;
    }
    if (!DecisionFits(now.State, decision.Event)) {
        *error = s.Where() + ": " + what + decision.Unit + ": the unit is " + UnitStateName(now.State) +
                 " in the ledger; nothing to decide";
        return false;
    }
    if (!s.Session.Exec("deciding on a unit", INSERT_EVENT, EventValues(decision), &failure) ||
        !s.Session.Exec(
            "deciding on a unit", "UPDATE zrvlink_unit SET state = $2, station = $3 WHERE name = $1",
            {decision.Unit, UnitStateName(NextStanding(now, decision).State), decision.Station}, &failure) ||
        !transaction.Commit("deciding on a unit", &failure)) {
        return s.Fail(error, failure);
    }
    return true;
}

ClaimResult CLedger::Claim(RecordRow* started, std::string* error) {
    State& s = *m_state;
    if (s.Now == State::Link::NameLost) {
        *error = s.NameLostWhy;
        return ClaimResult::Failed;
    }
    if (s.Now != State::Link::Up) {
        return ClaimResult::Unreachable;
    }
    CPgTransaction transaction(&s.Session);
    CPgResult renewed;
    CPgResult unit;
    PgError failure;
    const bool picked =
        transaction.Begin("claiming a unit", &failure) &&
        s.Session.Exec("claiming a unit",
                       "UPDATE zrvlink_station SET last_seen = now() WHERE name = $1 AND run = $2",
                       {s.Run.Station, s.RunId}, &renewed, &failure) &&
        renewed.Command() == "UPDATE 1" &&
        s.Session.Exec("claiming a unit",
                       "SELECT position, name, address, setup FROM zrvlink_unit WHERE state = 'open' "
                       "ORDER BY (name = $1) DESC, position LIMIT 1 FOR UPDATE SKIP LOCKED",
                       {started->Unit}, &unit, &failure);
    if (!picked) {
        if (failure.Lost) {
            s.LoseConnection(failure);
            return ClaimResult::Unreachable;
        }
        if (renewed.Command() == "UPDATE 0") {
            s.Renew(&failure);
            *error = s.NameLostWhy;
            return ClaimResult::Failed;
        }
        s.Fail(error, failure);
        return ClaimResult::Failed;
    }
    if (unit.Rows() == 0) {
        return ClaimResult::NoneFree;
    }
    if (!s.CheckClaimed(unit, error)) {
        return ClaimResult::Failed;
    }
    started->Unit = unit.Text(0, "name");
    started->Address = unit.Text(0, "address");
    const bool written =
        s.Session.Exec("claiming a unit", INSERT_EVENT, EventValues(*started), &failure) &&
        s.Session.Exec("claiming a unit",
                       "UPDATE zrvlink_unit SET state = 'started', station = $1 WHERE name = $2",
                       {s.Run.Station, started->Unit}, &failure);
    if (written && transaction.Commit("claiming a unit", &failure)) {
        return ClaimResult::Claimed;
    }
    if (!failure.Lost) {
        s.Fail(error, failure);
        return ClaimResult::Failed;
    }
    s.LoseConnection(failure);
    if (!written) {
        return ClaimResult::Unreachable; // never committed: the server drops it with the session
    }
    // Whether the claim was committed is not known: an end that frees it is kept for the ledger's return.
    RecordRow freed = *started;
    freed.Event = RecordEvent::Failed;
    freed.Save = SaveSent::No;
    freed.Previous.clear();
    freed.Message = "the ledger went away during the claim; nothing was written";
    return s.Journal->Append(freed, error) ? ClaimResult::Unreachable : ClaimResult::Failed;
}

void CLedger::PublishBoard(const std::string& json) {
    State& s = *m_state;
    PgError failure;
    if (s.Now == State::Link::Up &&
        !s.Session.Exec("publishing the board",
                        "INSERT INTO zrvlink_board (station, state, updated) VALUES ($1, $2, now()) "
                        "ON CONFLICT (station) DO UPDATE SET state = $2, updated = now()",
                        {s.Run.Station, json}, &failure)) {
        s.LoseConnection(failure);
    }
}

std::vector<std::string> CLedger::TakeNotices() {
    return std::exchange(m_state->Notices, {});
}

// The last try to commit what the journal keeps; a station that ends with nothing kept locally is marked
// stopped, so that its units are at once the operator's to decide on.
std::vector<std::string> CLedger::Close() {
    State& s = *m_state;
    PgError failure;
    if (s.Now == State::Link::Away || s.Now == State::Link::Connecting) {
        std::string error;
        std::size_t replayed = 0;
        if (s.Session.Connect(s.Run.Url, s.Application(), &failure) && s.CheckIdentity(&error, &failure) &&
            s.TakeName(&error, &failure) && s.Replay(&replayed, &failure)) {
            s.Now = State::Link::Up;
            s.Notices.push_back(s.Where() + " is back: " + Events(replayed) + " kept here committed");
        }
    }
    if (s.Now == State::Link::Up && s.Journal && s.Journal->Rows().empty()) {
        s.Session.Exec("marking the station stopped",
                       "UPDATE zrvlink_station SET stopped = now() WHERE name = $1 AND run = $2",
                       {s.Run.Station, s.RunId}, &failure);
    }
    std::vector<std::string> lines = std::exchange(s.Notices, {});
    if (s.Journal && !s.Journal->Rows().empty()) {
        const std::size_t kept = s.Journal->Rows().size();
        lines.push_back(Events(kept) + (kept == 1 ? " of this station is" : " of this station are") +
                        " kept only in " + s.Run.Journal + ", not yet in the " + s.Where() +
                        ": start station " + s.Run.Station + " again once the server is back to commit " +
                        (kept == 1 ? "it" : "them"));
    }
    s.Session.Close();
    return lines;
}

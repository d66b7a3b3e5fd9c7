// The shared ledger on a PostgreSQL server through libpq: the schema, the plan, claims with FOR UPDATE SKIP
// LOCKED, events appended once (a replayed journal adds nothing twice), a local journal while the server
// is away, and the station's name held by a session lock that the server drops with the connection. The
// libpq side of the ledger seam.
#include "provisioning/Ledger.h"

#include "persistence/ExactSetup.h"
#include "platform/FreedHandle.h"
#include "provisioning/UnitBook.h"

#include <dlfcn.h>
#include <libpq-fe.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// Advisory locks of this program: one for creating or upgrading the schema, and a class of its own for
// the stations' names (the name's hash is the second key).
constexpr int LOCK_CLASS_SCHEMA = 0x5A52564C;
constexpr int LOCK_SCHEMA = 1;
constexpr int LOCK_CLASS_STATION = 0x5A525653;
// A lost server is tried again this often; a station tells it that it lives this often.
constexpr auto RECONNECT_EVERY = std::chrono::seconds(2);
constexpr auto HEARTBEAT_EVERY = std::chrono::seconds(5);

// The schema, step by step: SCHEMA_STEPS[v] takes a ledger of version v (0: an empty database) to v + 1,
// each step once, in order, so that a ledger of any earlier version is upgraded in place.
const std::vector<const char*> SCHEMA_STEPS[] = {
    {
        R"(CREATE TABLE zrvlink_ledger (id integer PRIMARY KEY CHECK (id = 1), schema_version integer NOT NULL,
           plan_digest text NOT NULL, plan text NOT NULL, created_by text NOT NULL,
           created timestamptz NOT NULL DEFAULT now()))",
        R"(CREATE TABLE zrvlink_unit (position integer PRIMARY KEY, name text NOT NULL UNIQUE,
           address text NOT NULL, setup text NOT NULL, state text NOT NULL, station text NOT NULL DEFAULT ''))",
        R"(CREATE TABLE zrvlink_event (id bigserial PRIMARY KEY, key text NOT NULL UNIQUE, station text NOT NULL,
           time text NOT NULL, unit text NOT NULL, port text NOT NULL, serial text NOT NULL,
           version text NOT NULL, event text NOT NULL, status text NOT NULL, message text NOT NULL,
           save_sent text NOT NULL, seconds text NOT NULL, address text NOT NULL, previous text NOT NULL))",
        R"(CREATE TABLE zrvlink_station (name text PRIMARY KEY, started timestamptz NOT NULL,
           last_seen timestamptz NOT NULL))",
    },
    // 2: what each station's board shows, for the line's board, which also asks for each unit's last event.
    {
        R"(CREATE TABLE zrvlink_board (station text PRIMARY KEY, state text NOT NULL,
           updated timestamptz NOT NULL))",
        "CREATE INDEX zrvlink_event_unit ON zrvlink_event (unit, id)",
    },
};
static_assert(std::size(SCHEMA_STEPS) == LEDGER_SCHEMA_VERSION, "one step per version");

const char* const EVENT_COLUMNS = "station, time, unit, port, serial, version, event, status, message, "
                                  "save_sent, seconds, address, previous";

// An event once, whatever replays it; the unit's state moves only for the station that holds it (or by
// the operator's decision), so that a read that failed elsewhere never frees a unit at work.
const char* const APPEND_EVENT =
    "WITH added AS (INSERT INTO zrvlink_event (key, station, time, unit, port, serial, version, event, "
    "status, message, save_sent, seconds, address, previous) VALUES (md5($1), $2, $3, $4, $5, $6, $7, $8, "
    "$9, $10, $11, $12, $13, $14) ON CONFLICT (key) DO NOTHING RETURNING unit) "
    "UPDATE zrvlink_unit SET state = $15, station = $2 WHERE name IN (SELECT unit FROM added) "
    "AND ($16 OR (station = $2 AND state = 'started'))";

const char* const CLAIM_UNIT = "SELECT name, address FROM zrvlink_unit WHERE state = 'open' "
                               "ORDER BY (name = $1) DESC, position LIMIT 1 FOR UPDATE SKIP LOCKED";

// libpq is loaded when a ledger is first used, not at every start of zrvlink: the port's children,
// one per device, start as fast as a program without it, and a system without libpq still provisions
// with a CSV record. Loaded once and kept for the life of the process.
struct LibPq {
    decltype(&::PQconnectdbParams) connectdbParams = nullptr;
    decltype(&::PQstatus) status = nullptr;
    decltype(&::PQfinish) finish = nullptr;
    decltype(&::PQerrorMessage) errorMessage = nullptr;
    decltype(&::PQsetNoticeProcessor) setNoticeProcessor = nullptr;
    decltype(&::PQexecParams) execParams = nullptr;
    decltype(&::PQresultStatus) resultStatus = nullptr;
    decltype(&::PQntuples) ntuples = nullptr;
    decltype(&::PQgetvalue) getvalue = nullptr;
    decltype(&::PQresultErrorMessage) resultErrorMessage = nullptr;
    decltype(&::PQclear) clear = nullptr;
    decltype(&::PQconninfoParse) conninfoParse = nullptr;
    decltype(&::PQconninfoFree) conninfoFree = nullptr;
    decltype(&::PQfreemem) freemem = nullptr;
    std::string Error; // why it is not there; empty once every function was found
};

template <typename Function>
bool Bind(void* library, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(dlsym(library, name));
    return *function != nullptr;
}

const LibPq& Pq() {
    static const LibPq pq = [] {
        LibPq loaded;
        void* library = dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
        const bool bound =
            library != nullptr && Bind(library, "PQconnectdbParams", &loaded.connectdbParams) &&
            Bind(library, "PQstatus", &loaded.status) && Bind(library, "PQfinish", &loaded.finish) &&
            Bind(library, "PQerrorMessage", &loaded.errorMessage) &&
            Bind(library, "PQsetNoticeProcessor", &loaded.setNoticeProcessor) &&
            Bind(library, "PQexecParams", &loaded.execParams) &&
            Bind(library, "PQresultStatus", &loaded.resultStatus) &&
            Bind(library, "PQntuples", &loaded.ntuples) && Bind(library, "PQgetvalue", &loaded.getvalue) &&
            Bind(library, "PQresultErrorMessage", &loaded.resultErrorMessage) &&
            Bind(library, "PQclear", &loaded.clear) &&
            Bind(library, "PQconninfoParse", &loaded.conninfoParse) &&
            Bind(library, "PQconninfoFree", &loaded.conninfoFree) &&
            Bind(library, "PQfreemem", &loaded.freemem);
        if (!bound) {
            const char* why = dlerror();
            loaded.Error =
                std::string("the ledger needs the PostgreSQL client library libpq.so.5 (Debian: libpq5)") +
                (why != nullptr ? ": " + std::string(why) : std::string());
        }
        return loaded;
    }();
    return pq;
}

struct PgResultRelease {
    static void Free(PGresult* result) { Pq().clear(result); }
};

class CPgResult : public CFreedHandle<PGresult*, PgResultRelease> {
public:
    explicit CPgResult(PGresult* result) { Reset(result); }
    bool Ok() const {
        const ExecStatusType status = Pq().resultStatus(Get());
        return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    }
    int Rows() const { return Pq().ntuples(Get()); }
    std::string Text(int row, int column) const { return Pq().getvalue(Get(), row, column); }
    std::string Error() const { return Pq().resultErrorMessage(Get()); }
};

struct PgConnectionRelease {
    static void Free(PGconn* conn) { Pq().finish(conn); }
};

class CPgConnection : public CFreedHandle<PGconn*, PgConnectionRelease> {
public:
    bool Alive() const { return Get() != nullptr && Pq().status(Get()) == CONNECTION_OK; }
};

void Quiet(void*, const char*) {}

// libpq's message without its line end, and without anything of the URL but what the server said.
std::string Reason(PGconn* conn) {
    std::string text = conn != nullptr ? Pq().errorMessage(conn) : "out of memory";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    const std::size_t newline = text.find('\n');
    return newline == std::string::npos ? text : text.substr(0, newline);
}

// Connects with limits that keep a station from hanging on a server that went away: the URL's own
// settings, which come later, win.
PGconn* Connect(const std::string& url, const std::string& station) {
    const std::string application = "zrvlink station " + station;
    const char* const keys[] = {"connect_timeout",     "keepalives",       "keepalives_idle",
                                "keepalives_interval", "keepalives_count", "tcp_user_timeout",
                                "application_name",    "dbname",           nullptr};
    const char* const values[] = {"5",         "1",    "5", "2", "3", "10000", application.c_str(),
                                  url.c_str(), nullptr};
    PGconn* conn = Pq().connectdbParams(keys, values, 1);
    if (conn != nullptr) {
        Pq().setNoticeProcessor(conn, Quiet, nullptr);
    }
    return conn;
}

CPgResult Exec(PGconn* conn, const char* sql, const std::vector<std::string>& params = {}) {
    std::vector<const char*> values;
    for (const std::string& param : params) {
        values.push_back(param.c_str());
    }
    return CPgResult(Pq().execParams(conn, sql, static_cast<int>(values.size()), nullptr, values.data(),
                                     nullptr, nullptr, 0));
}

std::string Joined(const std::vector<std::string>& values) {
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        text += (i > 0 ? "\n" : "") + values[i];
    }
    return text;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> values;
    std::size_t start = 0;
    while (!text.empty() && start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        values.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return values;
}

// A row of zrvlink_event, its columns in the order of EVENT_COLUMNS from `first` on.
RecordRow RowAt(const CPgResult& result, int row, int first) {
    RecordRow record;
    record.Station = result.Text(row, first);
    record.Time = result.Text(row, first + 1);
    record.Unit = result.Text(row, first + 2);
    record.Port = result.Text(row, first + 3);
    record.Serial = result.Text(row, first + 4);
    record.Version = result.Text(row, first + 5);
    ParseEventName(result.Text(row, first + 6), &record.Event);
    record.Status = result.Text(row, first + 7);
    record.Message = result.Text(row, first + 8);
    ParseSaveName(result.Text(row, first + 9), &record.Save);
    record.Seconds = result.Text(row, first + 10);
    record.Address = result.Text(row, first + 11);
    record.Previous = Split(result.Text(row, first + 12));
    return record;
}

// Every event after `afterId` (of other stations only, when `station` is given), with its id.
bool ReadEvents(PGconn* conn, const std::string& afterId, const std::string& station,
                std::vector<RecordRow>* rows, std::string* lastId) {
    const std::string sql = std::string("SELECT id, ") + EVENT_COLUMNS +
                            " FROM zrvlink_event WHERE id > $1 AND station <> $2 ORDER BY id";
    const CPgResult result = Exec(conn, sql.c_str(), {afterId, station});
    if (!result.Ok()) {
        return false;
    }
    for (int i = 0; i < result.Rows(); ++i) {
        rows->push_back(RowAt(result, i, 1));
        *lastId = result.Text(i, 0);
    }
    return true;
}

bool Refuse(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

// The settings that a URL or keyword string names, as libpq reads it; false when it does not read (or
// libpq is not there).
bool UrlSettings(const std::string& url, std::vector<std::pair<std::string, std::string>>* settings) {
    char* message = nullptr;
    PQconninfoOption* options = Pq().Error.empty() ? Pq().conninfoParse(url.c_str(), &message) : nullptr;
    if (message != nullptr) {
        Pq().freemem(message);
    }
    if (options == nullptr) {
        return false;
    }
    for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        if (option->val != nullptr && option->val[0] != '\0') {
            settings->emplace_back(option->keyword, option->val);
        }
    }
    Pq().conninfoFree(options);
    return true;
}

} // namespace

bool LedgerAvailable() {
    return true;
}

std::string RedactedLedgerUrl(const std::string& url) {
    std::vector<std::pair<std::string, std::string>> settings;
    if (!UrlSettings(url, &settings)) {
        return "(a ledger whose address does not read)";
    }
    std::string shown;
    for (const auto& [keyword, value] : settings) {
        if (keyword != "password") {
            shown += (shown.empty() ? "" : " ") + keyword + "=" + value;
        }
    }
    return shown.empty() ? "(the defaults)" : shown;
}

std::string DefaultLedgerJournal(const std::string& url, const std::string& station) {
    std::vector<std::pair<std::string, std::string>> settings;
    UrlSettings(url, &settings);
    std::string where;
    for (const auto& [keyword, value] : settings) {
        if (keyword == "host" || keyword == "port" || keyword == "dbname") {
            where += "-" + value;
        }
    }
    std::string name = "ledger-" + station + where + ".csv";
    for (char& c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '-' || c == '_';
        c = plain ? c : '_';
    }
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    const std::string folder = state != nullptr && state[0] == '/' ? std::string(state)
                               : home != nullptr                   ? std::string(home) + "/.local/state"
                                                                   : std::string(".");
    return folder + "/zrvlink/" + name;
}

struct CLedger::State {
    std::string Url;
    std::string StationName;
    std::string JournalPath;
    CPgConnection Conn;
    CRecordLog Journal;
    std::string LastId = "0";
    std::vector<RecordRow> Loaded;
    std::vector<std::string> Notices;
    bool Lost = false;
    Clock::time_point NextTry;
    Clock::time_point NextHeartbeat;

    std::string Where() const { return "ledger " + RedactedLedgerUrl(Url); }

    bool Begin() { return Exec(Conn.Get(), "BEGIN").Ok(); }
    bool CommitTransaction() { return Exec(Conn.Get(), "COMMIT").Ok(); }
    void Rollback() { Exec(Conn.Get(), "ROLLBACK"); }

    // The schema there, at this program's version, made or upgraded under a lock that keeps a second
    // station from doing the same at the same moment.
    bool EnsureSchema(std::string* error) {
        const CPgResult lock = Exec(Conn.Get(), "SELECT pg_advisory_xact_lock($1, $2)",
                                    {std::to_string(LOCK_CLASS_SCHEMA), std::to_string(LOCK_SCHEMA)});
        const CPgResult exists = Exec(Conn.Get(), "SELECT to_regclass('zrvlink_ledger') IS NOT NULL");
        if (!lock.Ok() || !exists.Ok()) {
            return Refuse(error, Where() + ": " + exists.Error());
        }
        const CPgResult version = exists.Text(0, 0) == "t"
                                      ? Exec(Conn.Get(), "SELECT schema_version FROM zrvlink_ledger")
                                      : Exec(Conn.Get(), "SELECT 0");
        const int found = version.Ok() && version.Rows() == 1 ? std::atoi(version.Text(0, 0).c_str()) : 0;
        if (found > LEDGER_SCHEMA_VERSION) {
            return Refuse(error,
                          Where() + ": made by a later zrvlink (schema " + std::to_string(found) + ")");
        }
        for (int v = found; v < LEDGER_SCHEMA_VERSION; ++v) {
            for (const char* sql : SCHEMA_STEPS[v]) {
                const CPgResult step = Exec(Conn.Get(), sql);
                if (!step.Ok()) {
                    return Refuse(error, Where() + ": the schema cannot be made: " + step.Error());
                }
            }
        }
        return Exec(Conn.Get(), "UPDATE zrvlink_ledger SET schema_version = $1",
                    {std::to_string(LEDGER_SCHEMA_VERSION)})
            .Ok();
    }

    // The first station writes the plan; every later one must bring the same.
    bool EnsurePlan(const LedgerPlan& plan, std::string* error) {
        const std::string text = LedgerPlanText(plan);
        const CPgResult held =
            Exec(Conn.Get(),
                 "SELECT plan_digest = md5($1), created_by, "
                 "to_char(created, 'YYYY-MM-DD\"T\"HH24:MI:SSTZH:TZM') FROM zrvlink_ledger",
                 {text});
        if (!held.Ok()) {
            return Refuse(error, Where() + ": " + held.Error());
        }
        if (held.Rows() == 1) {
            return held.Text(0, 0) == "t" ||
                   Refuse(error, Where() + " holds another plan (made by station " + held.Text(0, 1) +
                                     " at " + held.Text(0, 2) + "): this station's plan or template differs");
        }
        if (!Exec(Conn.Get(),
                  "INSERT INTO zrvlink_ledger (id, schema_version, plan_digest, plan, created_by) "
                  "VALUES (1, $1, md5($2), $2, $3)",
                  {std::to_string(LEDGER_SCHEMA_VERSION), text, StationName})
                 .Ok()) {
            return Refuse(error, Where() + ": the plan cannot be written");
        }
        for (std::size_t i = 0; i < plan.Units.size(); ++i) {
            const PlanUnit& unit = plan.Units[i];
            if (!Exec(Conn.Get(),
                      "INSERT INTO zrvlink_unit (position, name, address, setup, state) VALUES ($1, $2, $3, "
                      "$4, 'open')",
                      {std::to_string(i), unit.Name, AddressText(unit.Set.IPAddress),
                       FormatExactSetup(unit.Set)})
                     .Ok()) {
                return Refuse(error, Where() + ": unit " + unit.Name + " cannot be written");
            }
        }
        return true;
    }

    bool TakeName(std::string* error) {
        const CPgResult taken = Exec(Conn.Get(), "SELECT pg_try_advisory_lock($1, hashtext($2))",
                                     {std::to_string(LOCK_CLASS_STATION), StationName});
        if (!taken.Ok() || taken.Text(0, 0) != "t") {
            return Refuse(error, Where() + ": station " + StationName +
                                     " is running already; two stations may not share a name (--station)");
        }
        return Exec(Conn.Get(),
                    "INSERT INTO zrvlink_station (name, started, last_seen) VALUES ($1, now(), now()) "
                    "ON CONFLICT (name) DO UPDATE SET started = now(), last_seen = now()",
                    {StationName})
            .Ok();
    }

    // One of this station's rows in the ledger; false when it could not be told whether it is.
    bool AppendEvent(const RecordRow& row) {
        const bool decision = row.Event == RecordEvent::Skipped || row.Event == RecordEvent::Redo;
        return Exec(Conn.Get(), APPEND_EVENT,
                    {StationName + "\x1f" + FormatRecordRow(row), StationName, row.Time, row.Unit, row.Port,
                     row.Serial, row.Version, EventName(row.Event), row.Status, row.Message,
                     SaveName(row.Save), row.Seconds, row.Address, Joined(row.Previous),
                     UnitStateName(StateAfterRow(row)), decision ? "true" : "false"})
            .Ok();
    }

    // What the journal kept goes to the ledger, once, in order.
    bool Replay(std::string* error, std::size_t* replayed) {
        *replayed = 0;
        for (const RecordRow& row : Journal.Rows()) {
            if (!AppendEvent(row)) {
                return Refuse(error, Where() + ": " + Reason(Conn.Get()));
            }
            ++*replayed;
        }
        return *replayed == 0 || Journal.Clear(error);
    }

    void LoseConnection() {
        if (!Lost) {
            Notices.push_back(Where() + " cannot be reached (" + Reason(Conn.Get()) +
                              "): no new device is taken; this station's events are kept in " + JournalPath +
                              " until it is back");
        }
        Lost = true;
        NextTry = Clock::now() + RECONNECT_EVERY;
        Conn.Reset();
    }

    bool Reconnect() {
        if (Clock::now() < NextTry) {
            return false;
        }
        NextTry = Clock::now() + RECONNECT_EVERY;
        Conn.Reset(Connect(Url, StationName));
        std::string error;
        std::size_t replayed = 0;
        if (!Conn.Alive() || !TakeName(&error) || !Replay(&error, &replayed)) {
            Conn.Reset();
            return false;
        }
        Lost = false;
        Notices.push_back(Where() + " is back: " + std::to_string(replayed) +
                          " kept event(s) committed; new devices are taken again");
        return true;
    }
};

CLedger::CLedger(std::string url, std::string station, std::string journal)
    : m_state(std::make_unique<State>()) {
    m_state->Url = std::move(url);
    m_state->StationName = std::move(station);
    m_state->JournalPath = std::move(journal);
}

CLedger::~CLedger() = default;

std::string CLedger::Station() const {
    return m_state->StationName;
}

LedgerOpen CLedger::Open(const LedgerPlan& plan, std::string* error) {
    State& s = *m_state;
    if (!Pq().Error.empty()) {
        *error = Pq().Error;
        return LedgerOpen::Refused;
    }
    s.Conn.Reset(Connect(s.Url, s.StationName));
    if (!s.Conn.Alive()) {
        *error = s.Where() + " cannot be reached: " + Reason(s.Conn.Get());
        s.Conn.Reset();
        return LedgerOpen::Unreachable;
    }
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(s.JournalPath).parent_path(), ignored);
    std::size_t replayed = 0;
    if (!s.Begin() || !s.EnsureSchema(error) || !s.EnsurePlan(plan, error)) {
        s.Rollback();
        return s.Conn.Alive() ? LedgerOpen::Refused : LedgerOpen::Unreachable;
    }
    if (!s.CommitTransaction() || !s.TakeName(error) ||
        !s.Journal.Open(s.JournalPath, error, RecordFileReaders::OwnerOnly) || !s.Replay(error, &replayed)) {
        return s.Conn.Alive() ? LedgerOpen::Refused : LedgerOpen::Unreachable;
    }
    if (replayed > 0) {
        s.Notices.push_back(s.Where() + ": " + std::to_string(replayed) + " event(s) kept in " +
                            s.JournalPath + " by an earlier run committed");
    }
    if (!ReadEvents(s.Conn.Get(), "0", std::string(), &s.Loaded, &s.LastId)) {
        *error = s.Where() + ": " + Reason(s.Conn.Get());
        return LedgerOpen::Unreachable;
    }
    s.NextHeartbeat = Clock::now() + HEARTBEAT_EVERY;
    return LedgerOpen::Opened;
}

std::vector<RecordRow> CLedger::Load() {
    return std::move(m_state->Loaded);
}

bool CLedger::Refresh(std::vector<RecordRow>* added) {
    State& s = *m_state;
    added->clear();
    if (s.Lost && !s.Reconnect()) {
        return false;
    }
    if (!ReadEvents(s.Conn.Get(), s.LastId, s.StationName, added, &s.LastId)) {
        s.LoseConnection();
        return false;
    }
    if (Clock::now() >= s.NextHeartbeat) {
        s.NextHeartbeat = Clock::now() + HEARTBEAT_EVERY;
        Exec(s.Conn.Get(), "UPDATE zrvlink_station SET last_seen = now() WHERE name = $1", {s.StationName});
    }
    return true;
}

bool CLedger::Append(const RecordRow& row, std::string* error) {
    State& s = *m_state;
    if (!s.Lost && s.AppendEvent(row)) {
        return true;
    }
    if (!s.Lost && s.Conn.Alive()) {
        *error = s.Where() + ": " + Reason(s.Conn.Get());
        return false;
    }
    s.LoseConnection();
    return s.Journal.Append(row, error);
}

ClaimResult CLedger::Claim(RecordRow* started, std::string* error) {
    State& s = *m_state;
    if (s.Lost) {
        return ClaimResult::Unreachable;
    }
    if (!s.Begin()) {
        s.LoseConnection();
        return ClaimResult::Unreachable;
    }
    const CPgResult unit = Exec(s.Conn.Get(), CLAIM_UNIT, {started->Unit});
    if (!unit.Ok() || unit.Rows() == 0) {
        const bool alive = s.Conn.Alive();
        s.Rollback();
        if (!alive) {
            s.LoseConnection();
        }
        return alive ? ClaimResult::NoneFree : ClaimResult::Unreachable;
    }
    started->Unit = unit.Text(0, 0);
    started->Address = unit.Text(0, 1);
    const bool written =
        s.AppendEvent(*started) &&
        Exec(s.Conn.Get(), "UPDATE zrvlink_unit SET state = 'started', station = $1 WHERE name = $2",
             {s.StationName, started->Unit})
            .Ok();
    if (written && s.CommitTransaction()) {
        return ClaimResult::Claimed;
    }
    if (s.Conn.Alive()) {
        s.Rollback();
        *error = s.Where() + ": the claim of unit " + started->Unit + " was refused";
        return ClaimResult::Failed;
    }
    // Whether the claim was committed is not known: an end that frees it is kept for the ledger's return.
    s.LoseConnection();
    RecordRow freed = *started;
    freed.Event = RecordEvent::Failed;
    freed.Save = SaveSent::No;
    freed.Previous.clear();
    freed.Message = "the ledger went away during the claim; nothing was written";
    return s.Journal.Append(freed, error) ? ClaimResult::Unreachable : ClaimResult::Failed;
}

void CLedger::PublishBoard(const std::string& json) {
    State& s = *m_state;
    if (!s.Lost) {
        Exec(s.Conn.Get(),
             "INSERT INTO zrvlink_board (station, state, updated) VALUES ($1, $2, now()) "
             "ON CONFLICT (station) DO UPDATE SET state = $2, updated = now()",
             {s.StationName, json});
    }
}

std::vector<std::string> CLedger::TakeNotices() {
    return std::exchange(m_state->Notices, {});
}

namespace {

// A connection for one look at the ledger (zrvlink ledger); false, with `error`, when there is none.
bool ConnectToLook(const std::string& url, const char* purpose, CPgConnection* conn, std::string* error) {
    if (!Pq().Error.empty()) {
        return Refuse(error, Pq().Error);
    }
    conn->Reset(Connect(url, purpose));
    return conn->Alive() ||
           Refuse(error, "ledger " + RedactedLedgerUrl(url) + " cannot be reached: " + Reason(conn->Get()));
}

} // namespace

namespace {

// Each station, whether it runs (holds its name's lock), its board and how long ago it was last heard
// of; a ledger of the first schema, which no station has upgraded yet, has no boards.
std::string StationsNow(bool boards) {
    return std::string(
               "SELECT s.name, to_char(s.last_seen, 'YYYY-MM-DD\"T\"HH24:MI:SSTZH:TZM'), EXISTS (SELECT 1 "
               "FROM pg_locks l WHERE l.locktype = 'advisory' AND l.classid = $1::oid AND "
               "l.objid = hashtext(s.name)::oid AND l.granted), coalesce(b.state, ''), "
               "(extract(epoch FROM now() - greatest(s.last_seen, b.updated)) * 1000)::bigint "
               "FROM zrvlink_station s LEFT JOIN ") +
           (boards ? "zrvlink_board b ON b.station = s.name"
                   : "(SELECT ''::text AS state, NULL::timestamptz AS updated) b ON false") +
           " ORDER BY s.name";
}

const char* const FAILED_WAITING =
    "SELECT count(*) FROM zrvlink_unit u WHERE u.state = 'open' AND (SELECT e.event FROM zrvlink_event e "
    "WHERE e.unit = u.name ORDER BY e.id DESC LIMIT 1) IN ('failed', 'interrupted')";

// Held units, and units whose write began on a station that no longer runs (it holds no lock on its
// name), each with its last event.
const char* const UNSETTLED =
    "SELECT u.name, u.address, u.station, u.state = 'started', e.port, e.serial, e.time FROM zrvlink_unit u "
    "LEFT JOIN LATERAL (SELECT port, serial, time FROM zrvlink_event WHERE unit = u.name ORDER BY id DESC "
    "LIMIT 1) e ON true WHERE u.state = 'held' OR (u.state = 'started' AND NOT EXISTS (SELECT 1 FROM "
    "pg_locks l WHERE l.locktype = 'advisory' AND l.classid = $1::oid AND "
    "l.objid = hashtext(u.station)::oid AND l.granted)) ORDER BY u.position";

void ReadUnsettled(const CPgResult& rows, std::vector<LedgerUnsettledUnit>* units) {
    for (int i = 0; i < rows.Rows(); ++i) {
        LedgerUnsettledUnit unit;
        unit.Held.Unit = rows.Text(i, 0);
        unit.Held.Address = rows.Text(i, 1);
        unit.Station = rows.Text(i, 2);
        unit.Stopped = rows.Text(i, 3) == "t";
        RecordRow last;
        last.Port = unit.Held.Port = rows.Text(i, 4);
        last.Serial = unit.Held.Serial = rows.Text(i, 5);
        last.Time = rows.Text(i, 6);
        const std::string how =
            unit.Stopped
                ? "has no end in the ledger (station " + unit.Station + " stopped during it), and may have"
                : "on station " + unit.Station + " ended badly after it may have";
        unit.Held.Instruction =
            UnsettledInstruction(unit.Held.Unit, last.Time.empty() ? nullptr : &last, how);
        units->push_back(unit);
    }
}

// The units per state and the stations with their boards, as one look at the ledger sees them.
bool ReadLine(PGconn* conn, const std::string& url, LedgerLine* line, std::string* error) {
    const CPgResult states =
        Exec(conn, "SELECT state, count(*) FROM zrvlink_unit GROUP BY state ORDER BY min(position)");
    const CPgResult boards = Exec(conn, "SELECT to_regclass('zrvlink_board') IS NOT NULL");
    const CPgResult stations = Exec(conn, StationsNow(boards.Ok() && boards.Text(0, 0) == "t").c_str(),
                                    {std::to_string(LOCK_CLASS_STATION)});
    const CPgResult failed = Exec(conn, FAILED_WAITING);
    const CPgResult unsettled = Exec(conn, UNSETTLED, {std::to_string(LOCK_CLASS_STATION)});
    for (const CPgResult* result : {&states, &stations, &failed, &unsettled}) {
        if (!result->Ok()) {
            return Refuse(error, "ledger " + RedactedLedgerUrl(url) + ": not a ledger of stations (" +
                                     result->Error() + ")");
        }
    }
    for (int i = 0; i < states.Rows(); ++i) {
        line->Status.States.emplace_back(states.Text(i, 0), std::atoi(states.Text(i, 1).c_str()));
    }
    for (int i = 0; i < stations.Rows(); ++i) {
        const bool running = stations.Text(i, 2) == "t";
        line->Status.Stations.push_back({stations.Text(i, 0), stations.Text(i, 1), running});
        line->Boards.push_back({stations.Text(i, 0), stations.Text(i, 3), stations.Text(i, 1),
                                std::atoll(stations.Text(i, 4).c_str()), running});
    }
    line->FailedWaiting = std::atoi(failed.Text(0, 0).c_str());
    ReadUnsettled(unsettled, &line->Unsettled);
    return true;
}

} // namespace

bool ReadLedgerStatus(const std::string& url, LedgerStatus* status, std::string* error) {
    CPgConnection conn;
    LedgerLine line;
    if (!ConnectToLook(url, "status", &conn, error) || !ReadLine(conn.Get(), url, &line, error)) {
        return false;
    }
    *status = line.Status;
    return true;
}

// A database where no station has worked yet is a line without stations, for a board started first.
bool ReadLedgerLine(const std::string& url, LedgerLine* line, std::string* error) {
    CPgConnection conn;
    if (!ConnectToLook(url, "line board", &conn, error)) {
        return false;
    }
    const CPgResult made = Exec(conn.Get(), "SELECT to_regclass('zrvlink_unit') IS NOT NULL");
    return (made.Ok() && made.Text(0, 0) == "f") || ReadLine(conn.Get(), url, line, error);
}

bool ReadLedgerRows(const std::string& url, std::vector<RecordRow>* rows, std::string* error) {
    CPgConnection conn;
    std::string lastId;
    return ConnectToLook(url, "export", &conn, error) &&
           (ReadEvents(conn.Get(), "0", std::string(), rows, &lastId) ||
            Refuse(error, "ledger " + RedactedLedgerUrl(url) + ": not a ledger of stations (" +
                              Reason(conn.Get()) + ")"));
}

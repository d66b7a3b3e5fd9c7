// The ledger's schema, its plan, and its rows both ways; portable.
#include "provisioning/ledger/LedgerSchema.h"

#include "persistence/ExactSetup.h"

#include <iterator>

namespace {

// Advisory lock of this program for creating or upgrading the schema.
constexpr int LOCK_CLASS_SCHEMA = 0x5A52564C;
constexpr int LOCK_SCHEMA = 1;
// An upgrade may rewrite every event: it gets longer than a station's statement.
constexpr int UPGRADE_STATEMENT_MS = 120000;

// How long after its last contact a station of an earlier schema, which said nothing of it, may still be
// writing: the children's 20 minutes, their stop grace, and a margin.
constexpr int64_t OLD_WRITE_LIMIT_MS = 1230000;

// The UTC offset in minutes that a text time column ("...+02:00") names.
const std::string TEXT_TIME_OFFSET =
    "(CASE WHEN time ~ '[+-][0-9]{2}:[0-9]{2}$' THEN "
    "(CASE WHEN substr(time, length(time) - 5, 1) = '-' THEN -1 ELSE 1 END) * "
    "(substr(time, length(time) - 4, 2)::integer * 60 + substr(time, length(time) - 1, 2)::integer) ELSE 0 "
    "END)";

// The schema, step by step: SCHEMA_STEPS[v] takes a ledger of version v (0: an empty database) to v + 1,
// each step once, in order, so that a ledger of any earlier version is upgraded in place.
const std::vector<std::string> SCHEMA_STEPS[] = {
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
    // 3: the ledger's identity; states and events checked; typed times, statuses and seconds, and when the
    // server received each event; the transaction that added it, so that a reader misses no event whose
    // transaction committed late; each station's name held by a lease.
    {
        "ALTER TABLE zrvlink_ledger ADD COLUMN ledger_id text NOT NULL "
        "DEFAULT md5(random()::text || clock_timestamp()::text)",
        "ALTER TABLE zrvlink_unit ADD CONSTRAINT zrvlink_unit_state "
        "CHECK (state IN ('open', 'started', 'held', 'done', 'skipped'))",
        "ALTER TABLE zrvlink_event ADD COLUMN utc_offset smallint NOT NULL DEFAULT 0, "
        "ADD COLUMN received timestamptz, ADD COLUMN txid bigint NOT NULL DEFAULT 0",
        "UPDATE zrvlink_event SET utc_offset = " + TEXT_TIME_OFFSET,
        "ALTER TABLE zrvlink_event ALTER COLUMN time TYPE timestamptz USING nullif(time, '')::timestamptz, "
        "ALTER COLUMN time DROP NOT NULL, "
        "ALTER COLUMN status TYPE integer USING nullif(status, '')::integer, ALTER COLUMN status DROP NOT "
        "NULL, "
        "ALTER COLUMN seconds TYPE numeric(12, 1) USING nullif(seconds, '')::numeric, "
        "ALTER COLUMN seconds DROP NOT NULL",
        "UPDATE zrvlink_event SET received = coalesce(time, now())",
        "ALTER TABLE zrvlink_event ALTER COLUMN received SET NOT NULL, "
        "ALTER COLUMN received SET DEFAULT clock_timestamp(), ALTER COLUMN txid SET DEFAULT txid_current(), "
        "ADD CONSTRAINT zrvlink_event_event "
        "CHECK (event IN ('started', 'done', 'failed', 'interrupted', 'skipped', 'redo')), "
        "ADD CONSTRAINT zrvlink_event_save_sent CHECK (save_sent IN ('', 'no', 'maybe', 'yes'))",
        "CREATE INDEX zrvlink_event_txid ON zrvlink_event (txid)",
        "ALTER TABLE zrvlink_station ADD COLUMN run text NOT NULL DEFAULT '', "
        "ADD COLUMN host text NOT NULL DEFAULT '', ADD COLUMN pid bigint NOT NULL DEFAULT 0, "
        "ADD COLUMN backend_pid integer NOT NULL DEFAULT 0, "
        "ADD COLUMN lease_ms bigint NOT NULL DEFAULT 15000, "
        "ADD COLUMN write_limit_ms bigint NOT NULL DEFAULT " +
            std::to_string(OLD_WRITE_LIMIT_MS) + ", ADD COLUMN stopped timestamptz",
    },
};
static_assert(std::size(SCHEMA_STEPS) == LEDGER_SCHEMA_VERSION, "one step per version");

bool Refuse(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

bool Failed(std::string* error, const PgError& failure) {
    return Refuse(error, failure.Text());
}

int (*g_interrupts)() = nullptr;

} // namespace

void SetLedgerInterrupts(int (*count)()) {
    g_interrupts = count;
}

void WatchLedgerInterrupts(CPgSession* session) {
    session->SetInterrupts([] { return g_interrupts != nullptr ? g_interrupts() : 0; });
}

int LedgerSchemaThere(CPgSession* session, PgError* failure, bool* ok) {
    CPgResult exists;
    CPgResult version;
    int64_t found = 0;
    *ok = session->Exec("looking for the ledger", "SELECT to_regclass('zrvlink_ledger') IS NOT NULL AS made",
                        {}, &exists, failure) &&
          (!exists.Flag(0, "made") ||
           session->Exec("reading the ledger's schema version", "SELECT schema_version FROM zrvlink_ledger",
                         {}, &version, failure));
    return *ok && version.Rows() == 1 && version.Int(0, "schema_version", &found) ? static_cast<int>(found)
                                                                                  : 0;
}

std::string LedgerStations(int version) {
    return version >= 3
               ? "zrvlink_station"
               : "(SELECT name, ''::text AS host, started, last_seen, NULL::timestamptz AS stopped, " +
                     std::to_string(LEDGER_LEASE_MS) + "::bigint AS lease_ms, " +
                     std::to_string(OLD_WRITE_LIMIT_MS) + "::bigint AS write_limit_ms FROM zrvlink_station)";
}

std::string LedgerEvents(int version) {
    return version >= 3
               ? "zrvlink_event"
               : "(SELECT id, 0::bigint AS txid, station, nullif(time, '')::timestamptz AS time, " +
                     TEXT_TIME_OFFSET +
                     " AS utc_offset, unit, port, serial, version, event, "
                     "nullif(status, '')::integer AS status, message, save_sent, "
                     "nullif(seconds, '')::numeric AS seconds, address, previous FROM zrvlink_event)";
}

bool EnsureLedgerSchema(CPgSession* session, std::string* error, PgError* failure) {
    if (!session->Exec("waiting for the schema's lock", "SELECT pg_advisory_xact_lock($1, $2)",
                       {LOCK_CLASS_SCHEMA, LOCK_SCHEMA}, failure)) {
        return Failed(error, *failure);
    }
    bool ok = false;
    const int found = LedgerSchemaThere(session, failure, &ok);
    if (!ok) {
        return Failed(error, *failure);
    }
    if (found > LEDGER_SCHEMA_VERSION) {
        return Refuse(error, "made by a later zrvlink (schema " + std::to_string(found) + ")");
    }
    if (found == LEDGER_SCHEMA_VERSION) {
        return true;
    }
    CPgSession::LongerStatements longer(session, UPGRADE_STATEMENT_MS);
    if (!session->Exec("allowing the upgrade time", "SET LOCAL statement_timeout = 0", {}, failure)) {
        return Failed(error, *failure);
    }
    for (int v = found; v < LEDGER_SCHEMA_VERSION; ++v) {
        for (const std::string& sql : SCHEMA_STEPS[v]) {
            if (!session->Exec("making the schema", sql.c_str(), {}, failure)) {
                return Failed(error, *failure);
            }
        }
    }
    return session->Exec("making the schema", "UPDATE zrvlink_ledger SET schema_version = $1",
                         {LEDGER_SCHEMA_VERSION}, failure) ||
           Failed(error, *failure);
}

bool EnsureLedgerPlan(CPgSession* session, const LedgerPlan& plan, const std::string& station,
                      LedgerIdentity* identity, std::string* error, PgError* failure) {
    const std::string text = LedgerPlanText(plan);
    CPgResult held;
    if (!session->Exec("reading the ledger's plan",
                       "SELECT plan_digest = md5($1) AS same, plan_digest, ledger_id, created_by, "
                       "to_char(created, 'YYYY-MM-DD\"T\"HH24:MI:SSTZH:TZM') AS created FROM zrvlink_ledger",
                       {text}, &held, failure)) {
        return Failed(error, *failure);
    }
    if (held.Rows() == 1) {
        *identity = {held.Text(0, "ledger_id"), held.Text(0, "plan_digest")};
        return held.Flag(0, "same") ||
               Refuse(error, "holds another plan (made by station " + held.Text(0, "created_by") + " at " +
                                 held.Text(0, "created") + "): this station's plan or template differs");
    }
    CPgResult made;
    if (!session->Exec("writing the plan",
                       "INSERT INTO zrvlink_ledger (id, schema_version, plan_digest, plan, created_by) "
                       "VALUES (1, $1, md5($2), $2, $3) RETURNING ledger_id, plan_digest",
                       {LEDGER_SCHEMA_VERSION, text, station}, &made, failure)) {
        return Failed(error, *failure);
    }
    *identity = {made.Text(0, "ledger_id"), made.Text(0, "plan_digest")};
    for (std::size_t i = 0; i < plan.Units.size(); ++i) {
        const PlanUnit& unit = plan.Units[i];
        if (!session->Exec("writing the plan's units",
                           "INSERT INTO zrvlink_unit (position, name, address, setup, state) "
                           "VALUES ($1, $2, $3, $4, 'open')",
                           {static_cast<int64_t>(i), unit.Name, AddressText(unit.Set.IPAddress),
                            FormatExactSetup(unit.Set)},
                           failure)) {
            return Failed(error, *failure);
        }
    }
    return true;
}

const char* const EVENT_COLUMNS =
    "e.id, e.txid, e.station, extract(epoch FROM e.time)::bigint AS time_s, e.utc_offset, e.unit, e.port, "
    "e.serial, e.version, e.event, e.status, e.message, e.save_sent, e.seconds, e.address, e.previous";

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> values;
    for (std::size_t start = 0; !text.empty() && start <= text.size();) {
        const std::size_t end = text.find('\n', start);
        values.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? text.size() + 1 : end + 1;
    }
    return values;
}

std::string JoinedLines(const std::vector<std::string>& values) {
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        text += (i > 0 ? "\n" : "") + values[i];
    }
    return text;
}

} // namespace

RecordRow EventRowAt(const CPgResult& result, int row) {
    RecordRow record;
    int64_t seconds = 0;
    int64_t offset = 0;
    record.Station = result.Text(row, "station");
    if (result.Int(row, "time_s", &seconds) && result.Int(row, "utc_offset", &offset)) {
        record.Time = FormatRecordTimeAt(seconds, static_cast<int32_t>(offset));
    }
    record.Unit = result.Text(row, "unit");
    record.Port = result.Text(row, "port");
    record.Serial = result.Text(row, "serial");
    record.Version = result.Text(row, "version");
    ParseEventName(result.Text(row, "event"), &record.Event);
    record.Status = result.Text(row, "status");
    record.Message = result.Text(row, "message");
    ParseSaveName(result.Text(row, "save_sent"), &record.Save);
    record.Seconds = result.Text(row, "seconds");
    record.Address = result.Text(row, "address");
    record.Previous = SplitLines(result.Text(row, "previous"));
    return record;
}

const char* const INSERT_EVENT =
    "INSERT INTO zrvlink_event (key, station, time, utc_offset, unit, port, serial, version, event, status, "
    "message, save_sent, seconds, address, previous) VALUES (md5($1), $2, $3::timestamptz, $4, $5, $6, $7, "
    "$8, $9, $10::integer, $11, $12, $13::numeric, $14, $15) ON CONFLICT (key) DO NOTHING RETURNING id";

std::vector<PgValue> EventValues(const RecordRow& row) {
    int32_t offset = 0;
    const auto textOrNull = [](const std::string& text) {
        return text.empty() ? PgValue::Null() : PgValue(text);
    };
    return {row.Station + "\x1f" + FormatRecordRow(row),
            row.Station,
            textOrNull(row.Time),
            RecordTimeOffset(row.Time, &offset) ? offset : 0,
            row.Unit,
            row.Port,
            row.Serial,
            row.Version,
            EventName(row.Event),
            textOrNull(row.Status),
            row.Message,
            SaveName(row.Save),
            textOrNull(row.Seconds),
            row.Address,
            JoinedLines(row.Previous)};
}

const std::string STATION_STATE =
    "(CASE WHEN s.stopped IS NOT NULL THEN 'stopped' "
    "WHEN now() < s.last_seen + s.lease_ms * interval '1 millisecond' THEN 'running' "
    "WHEN now() < s.last_seen + s.write_limit_ms * interval '1 millisecond' THEN 'not seen' "
    "ELSE 'stopped' END)";

const std::string STATION_COLUMNS =
    "s.name, s.host, to_char(s.last_seen, 'YYYY-MM-DD\"T\"HH24:MI:SSTZH:TZM') AS last_seen, " +
    STATION_STATE +
    " AS station_state, to_char(s.last_seen + s.write_limit_ms * interval '1 millisecond', "
    "'YYYY-MM-DD\"T\"HH24:MI:SSTZH:TZM') AS may_write_until";

LedgerStationInfo StationAt(const CPgResult& result, int row) {
    LedgerStationInfo info;
    info.Name = result.Text(row, "name");
    info.Host = result.Text(row, "host");
    info.LastSeen = result.Text(row, "last_seen");
    const std::string state = result.Text(row, "station_state");
    info.State = state == "running"    ? LedgerStationState::Running
                 : state == "not seen" ? LedgerStationState::NotSeen
                                       : LedgerStationState::Stopped;
    if (info.State == LedgerStationState::NotSeen) {
        info.MayWriteUntil = result.Text(row, "may_write_until");
    }
    return info;
}

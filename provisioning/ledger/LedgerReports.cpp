// What `zrvlink ledger` reads of a ledger, each in one look: the units per state and the stations with
// their boards, the units waiting for the operator, every event; read-only, also of a ledger that no
// station has upgraded to the latest schema yet; portable (the server through PgSession.h).
#include "provisioning/ledger/Ledger.h"

#include "provisioning/UnitBook.h"
#include "provisioning/ledger/LedgerSchema.h"
#include "provisioning/ledger/PgSession.h"

namespace {

bool Refuse(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

std::string Where(const std::string& url) {
    return "ledger " + RedactedLedgerUrl(url);
}

// A connection for one look, and the schema of what it finds: 0 where no station has made a ledger yet.
bool Look(const std::string& url, const char* purpose, CPgSession* session, int* version,
          std::string* error) {
    PgError failure;
    if (!PgAvailable(error)) {
        return false;
    }
    WatchLedgerInterrupts(session);
    if (!session->Connect(url, std::string("zrvlink ") + purpose, &failure)) {
        return Refuse(error, LedgerConnectError(url, failure));
    }
    bool ok = false;
    *version = LedgerSchemaThere(session, &failure, &ok);
    return ok || Refuse(error, Where(url) + ": " + failure.Text());
}

bool ReadStates(CPgSession* session, LedgerStatus* status, PgError* failure) {
    CPgResult states;
    if (!session->Exec("counting the units",
                       "SELECT state, count(*) AS units FROM zrvlink_unit GROUP BY state "
                       "ORDER BY min(position)",
                       {}, &states, failure)) {
        return false;
    }
    for (int i = 0; i < states.Rows(); ++i) {
        int64_t count = 0;
        states.Int(i, "units", &count);
        status->States.emplace_back(states.Text(i, "state"), static_cast<int>(count));
    }
    return true;
}

bool ReadStations(CPgSession* session, int version, LedgerLine* line, PgError* failure) {
    const std::string boards =
        version >= 2 ? "zrvlink_board"
                     : "(SELECT ''::text AS station, ''::text AS state, NULL::timestamptz AS updated)";
    const std::string sql = "SELECT " + STATION_COLUMNS +
                            ", coalesce(b.state, '') AS board, "
                            "(extract(epoch FROM b.updated) * 1000)::bigint AS published_ms FROM " +
                            LedgerStations(version) + " s LEFT JOIN " + boards +
                            " b ON b.station = s.name ORDER BY s.name";
    CPgResult stations;
    if (!session->Exec("reading the stations", sql.c_str(), {}, &stations, failure)) {
        return false;
    }
    for (int i = 0; i < stations.Rows(); ++i) {
        const LedgerStationInfo info = StationAt(stations, i);
        int64_t published = -1;
        line->Status.Stations.push_back(info);
        line->Boards.push_back(
            {info, stations.Text(i, "board"), stations.Int(i, "published_ms", &published) ? published : -1});
    }
    return true;
}

// Open units whose last event was a failure: they wait for the next device.
bool ReadFailedWaiting(CPgSession* session, int version, LedgerLine* line, PgError* failure) {
    const std::string sql =
        "SELECT count(*) AS units FROM zrvlink_unit u WHERE u.state = 'open' AND "
        "(SELECT e.event FROM " +
        LedgerEvents(version) +
        " e WHERE e.unit = u.name ORDER BY e.id DESC LIMIT 1) IN ('failed', 'interrupted')";
    CPgResult failed;
    int64_t count = 0;
    if (!session->Exec("counting the failed units", sql.c_str(), {}, &failed, failure)) {
        return false;
    }
    failed.Int(0, "units", &count);
    line->FailedWaiting = static_cast<int>(count);
    return true;
}

LedgerUnsettledUnit UnsettledAt(const CPgResult& rows, int i, bool stopped) {
    LedgerUnsettledUnit unit;
    unit.Held.Unit = rows.Text(i, "name");
    unit.Held.Address = rows.Text(i, "address");
    unit.Station = rows.Text(i, "station");
    unit.Stopped = stopped;
    RecordRow last;
    int64_t seconds = 0;
    int64_t offset = 0;
    last.Port = unit.Held.Port = rows.Text(i, "port");
    last.Serial = unit.Held.Serial = rows.Text(i, "serial");
    const bool known = rows.Int(i, "time_s", &seconds) && rows.Int(i, "utc_offset", &offset);
    last.Time = known ? FormatRecordTimeAt(seconds, static_cast<int32_t>(offset)) : std::string();
    const std::string how =
        stopped ? "has no end in the ledger (station " + unit.Station + " stopped during it), and may have"
                : "on station " + unit.Station + " ended badly after it may have";
    unit.Held.Instruction = UnsettledInstruction(unit.Held.Unit, known ? &last : nullptr, how);
    return unit;
}

// Held units, and units whose write began on a station that stopped, each with its last event; a unit
// at work on a station that is only not seen may still be being written, and is not offered.
bool ReadUnsettled(CPgSession* session, int version, LedgerLine* line, PgError* failure) {
    const std::string sql =
        "SELECT u.name, u.address, u.station, u.state, coalesce(st.station_state, 'stopped') AS "
        "station_state, "
        "e.port, e.serial, e.time_s, e.utc_offset FROM zrvlink_unit u LEFT JOIN (SELECT s.name, " +
        STATION_STATE + " AS station_state FROM " + LedgerStations(version) +
        " s) st ON st.name = u.station LEFT JOIN LATERAL (SELECT ev.port, ev.serial, "
        "extract(epoch FROM ev.time)::bigint AS time_s, ev.utc_offset FROM " +
        LedgerEvents(version) +
        " ev WHERE ev.unit = u.name ORDER BY ev.id DESC LIMIT 1) e ON true "
        "WHERE u.state IN ('held', 'started') ORDER BY u.position";
    CPgResult rows;
    if (!session->Exec("reading the units that wait for the operator", sql.c_str(), {}, &rows, failure)) {
        return false;
    }
    for (int i = 0; i < rows.Rows(); ++i) {
        const std::string station = rows.Text(i, "station_state");
        const bool held = rows.Text(i, "state") == "held";
        if (held || station == "stopped") {
            line->Unsettled.push_back(UnsettledAt(rows, i, !held));
        } else if (station == "not seen") {
            ++line->NotSeenAtWork;
        }
    }
    return true;
}

bool ReadLine(CPgSession* session, int version, const std::string& url, LedgerLine* line,
              std::string* error) {
    PgError failure;
    return (ReadStates(session, &line->Status, &failure) && ReadStations(session, version, line, &failure) &&
            ReadFailedWaiting(session, version, line, &failure) &&
            ReadUnsettled(session, version, line, &failure)) ||
           Refuse(error, Where(url) + ": not a ledger of stations (" + failure.Text() + ")");
}

} // namespace

bool ReadLedgerStatus(const std::string& url, LedgerStatus* status, std::string* error) {
    CPgSession session;
    int version = 0;
    LedgerLine line;
    if (!Look(url, "status", &session, &version, error) ||
        (version > 0 && !ReadLine(&session, version, url, &line, error))) {
        return false;
    }
    if (version == 0) {
        return Refuse(error, Where(url) + ": not a ledger of stations (no station has worked there yet)");
    }
    *status = line.Status;
    return true;
}

// A database where no station has worked yet is a line without stations, for a board started first.
bool ReadLedgerLine(const std::string& url, LedgerLine* line, std::string* error) {
    CPgSession session;
    int version = 0;
    return Look(url, "line board", &session, &version, error) &&
           (version == 0 || ReadLine(&session, version, url, line, error));
}

bool ReadLedgerRows(const std::string& url, std::vector<RecordRow>* rows, std::string* error) {
    CPgSession session;
    int version = 0;
    if (!Look(url, "export", &session, &version, error)) {
        return false;
    }
    if (version == 0) {
        return Refuse(error, Where(url) + ": not a ledger of stations (no station has worked there yet)");
    }
    const std::string sql =
        std::string("SELECT ") + EVENT_COLUMNS + " FROM " + LedgerEvents(version) + " e ORDER BY e.id";
    CPgResult events;
    PgError failure;
    if (!session.Exec("reading the events", sql.c_str(), {}, &events, &failure)) {
        return Refuse(error, Where(url) + ": " + failure.Text());
    }
    for (int i = 0; i < events.Rows(); ++i) {
        rows->push_back(EventRowAt(events, i));
    }
    return true;
}

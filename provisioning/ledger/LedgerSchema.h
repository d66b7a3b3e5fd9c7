// The ledger's tables as the store and the reports share them: the schema and its upgrades, the plan
// kept there, an event's columns both ways, and a station's state by its lease; portable (the server
// through PgSession.h).
#pragma once

#include "provisioning/Record.h"
#include "provisioning/ledger/Ledger.h"
#include "provisioning/ledger/PgSession.h"

#include <string>
#include <vector>

// Lets the Ctrl-C that SetLedgerInterrupts counts cut `session`'s waits short.
void WatchLedgerInterrupts(CPgSession* session);

// Why the server of `url` was not connected to: it cannot be reached, or its certificate failed the
// checks that the URL asks for, said with where the root certificate comes from.
std::string LedgerConnectError(const std::string& url, const PgError& failure);

// Makes the schema, or upgrades an earlier one in place, inside `session`'s open transaction, under a
// lock that keeps a second station from doing the same at once. False, with `error`, for a ledger of a
// later schema or a step the server refused.
bool EnsureLedgerSchema(CPgSession* session, std::string* error, PgError* failure);

// The schema version of the ledger in `session`'s database; 0 where none was made. `ok` false, with
// `failure`, when it could not be read.
int LedgerSchemaThere(CPgSession* session, PgError* failure, bool* ok);
// zrvlink_station and zrvlink_event as a ledger of schema `version` holds them, with the columns of the
// latest schema: what a report reads of a ledger that no station has upgraded yet.
std::string LedgerStations(int version);
std::string LedgerEvents(int version);

// What names a ledger and its plan, for a journal that must go back to the same.
struct LedgerIdentity {
    std::string LedgerId; // made with the ledger, never changed
    std::string PlanDigest;
};

// The first station writes its plan; every later one must bring the same. Inside the open transaction.
bool EnsureLedgerPlan(CPgSession* session, const LedgerPlan& plan, const std::string& station,
                      LedgerIdentity* identity, std::string* error, PgError* failure);

// A SELECT list over zrvlink_event AS e that EventRowAt reads.
extern const char* const EVENT_COLUMNS;
RecordRow EventRowAt(const CPgResult& result, int row);

// Adds an event once, whatever replays it ($1 .. $15 from EventValues); returns its id, or no row when it
// was there already.
extern const char* const INSERT_EVENT;
std::vector<PgValue> EventValues(const RecordRow& row);

// A SELECT list over zrvlink_station AS s that StationAt reads: its name, host, when it was last seen,
// its state by its lease and, not seen, until when it may still be writing.
extern const std::string STATION_COLUMNS;
LedgerStationInfo StationAt(const CPgResult& result, int row);
// The state of station s as SQL text: 'running', 'not seen' or 'stopped'.
extern const std::string STATION_STATE;

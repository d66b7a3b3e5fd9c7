// The station's record: one CSV row per event of a unit (a spreadsheet opens it as it is), its header,
// and reading it back, with a last row that a power cut left unfinished told apart; portable.
#pragma once

#include "core/ParamSet.h"
#include "platform/Clock.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class RecordEvent {
    Started,     // the device was read; its unit's write begins
    Done,        // written, and read back the same
    Failed,      // Status and Message say why; Save whether "save" may have reached the device
    Interrupted, // ended by the operator (a second Ctrl-C); Save as for Failed
    Skipped,     // the operator took the unit out of the plan (--skip)
    Redo,        // the operator gave the unit back to the plan (--redo)
};

// Whether the device may have received "save" for the unit: a unit whose save may have been reached is
// never handed to another device on its own.
enum class SaveSent {
    Unknown, // rows that do not tell
    No,
    Maybe, // it was about to be sent, or sent and not answered "OK"
    Yes,
};

struct RecordRow {
    std::string Time; // ISO 8601 with the UTC offset
    std::string Unit;
    std::string Port;
    std::string Serial;  // the device's USB serial number, where the system shows one
    std::string Version; // the device's answer to "vers"
    RecordEvent Event = RecordEvent::Started;
    std::string Status; // the exit status of a failure
    std::string Message;
    SaveSent Save = SaveSent::Unknown;
    std::string Seconds; // from the device's arrival to the event
    std::string Address; // the own address written (or being written)
    std::string Station; // the station that appended the row, in a ledger of several or a record with a
                         // Station column (a ledger's export); empty in a record of one station
    // The device's configuration before the write, one value per setup-file line in setup-file value
    // syntax; empty on rows that do not carry it.
    std::vector<std::string> Previous;
};

// The header row, after a UTF-8 byte order mark (so that a spreadsheet reads UTF-8 text as such).
// `withStation`: a last column, Station, for rows of several stations (a ledger's export, and a record
// that a station goes on with from it).
std::string RecordHeaderText(bool withStation = false);

// One row with its CR LF. Line breaks inside a field become blanks: every row is one line. A field that a
// spreadsheet would take for a formula (it starts with = + - @, a tab or an apostrophe) gets an
// apostrophe in front, which ParseRecord takes off again.
std::string FormatRecordRow(const RecordRow& row, bool withStation = false);

// A whole record: its header, then `rows`; with a Station column, as a ledger exports its rows.
std::string FormatRecordText(const std::vector<RecordRow>& rows, bool withStation);

// "2024-05-01T14:03:07+02:00"
std::string FormatRecordTime(const LocalTime& time, int32_t utcOffsetMinutes);
// The time of this moment, so formatted.
std::string RecordTimeNow();
// The moment `utcSeconds` after 1970-01-01T00:00:00Z, so formatted in the zone `utcOffsetMinutes` east.
std::string FormatRecordTimeAt(int64_t utcSeconds, int32_t utcOffsetMinutes);
// The UTC offset that a time so formatted names; false when it names none.
bool RecordTimeOffset(const std::string& time, int32_t* utcOffsetMinutes);
// The moment that a time so formatted (or ending in "Z") names, in seconds after
// 1970-01-01T00:00:00Z: a full time that orders times of any zone and day; false for any other text.
bool ParseRecordTime(const std::string& time, int64_t* utcSeconds);

// "3.1": seconds to a tenth.
std::string FormatSeconds(double seconds);

// Every value of `set` in setup-file value syntax, in file order.
std::vector<std::string> SetupValues(const ParamSet& set);

struct RecordText {
    std::vector<RecordRow> Rows;
    bool HasHeader = false;     // false: an empty record, which gets its header first
    bool HasStation = false;    // its header ends with a Station column, and so does each row
    std::size_t KeptSize = 0;   // bytes up to the end of the last whole row (or header)
    std::string Torn;           // what follows them: a last row that never got written whole, or zeros
    std::string MissingLineEnd; // "\n" or "\r\n" when the last row is whole but for its line end
};

// Reads a record's text, with or without a Station column (as its header says). A power cut can only
// have hurt the last row, the one being written: when it is cut short, zero-filled or does not read as a
// row, it lands in Torn with any zeros after it and is no row; when all it lacks is its line end, it is
// a row, and MissingLineEnd holds what to append. In a record with a Station column, the last row is
// known whole only when it names `station`, the station that reads it and writes its own rows so: any
// other name may be a cut one. Zeros after the last line end land in Torn. False, with `error` naming
// the row, for a header that is not the station's or an earlier row that cannot be one of its rows: a
// file that was not made by the station (or the export), or edited.
bool ParseRecord(std::string_view text, RecordText* record, std::string* error,
                 const std::string& station = std::string());

const char* EventName(RecordEvent event);
const char* SaveName(SaveSent save);
// The event or save named `text` (as EventName and SaveName write them); false for any other text.
bool ParseEventName(const std::string& text, RecordEvent* event);
bool ParseSaveName(const std::string& text, SaveSent* save);

// Printable, on one line, and at most 100 characters and "...": for a row that a power cut left
// unfinished.
std::string PrintableExcerpt(const std::string& text);

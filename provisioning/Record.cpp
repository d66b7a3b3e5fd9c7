// The record's rows as CSV and back; portable.
#include "provisioning/Record.h"

#include "core/Counted.h"
#include "core/TextParse.h"
#include "persistence/ByteOrderMark.h"
#include "persistence/SetupLines.h"
#include "provisioning/Csv.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const FIXED_COLUMNS[] = {"Time",   "Unit",    "Port",      "Serial",  "Version", "Event",
                                     "Status", "Message", "Save sent", "Seconds", "Address"};
constexpr std::size_t FIXED_COUNT = sizeof FIXED_COLUMNS / sizeof FIXED_COLUMNS[0];
constexpr const char* PREVIOUS_PREFIX = "Previous ";

const char* const EVENT_NAMES[] = {"started", "done", "failed", "interrupted", "skipped", "redo"};
const char* const SAVE_NAMES[] = {"", "no", "maybe", "yes"};

template <typename Enum, std::size_t N>
bool FindName(const char* const (&names)[N], const std::string& text, Enum* value) {
    for (std::size_t i = 0; i < N; ++i) {
        if (text == names[i]) {
            *value = static_cast<Enum>(i);
            return true;
        }
    }
    return false;
}

constexpr const char* STATION_COLUMN = "Station";

std::vector<std::string> HeaderFields(bool withStation) {
    std::vector<std::string> fields(FIXED_COLUMNS, FIXED_COLUMNS + FIXED_COUNT);
    const ParamSet zero{};
    for (int i = 0; i < SetupLineCount(); ++i) {
        std::string key;
        std::string value;
        FormatSetupKeyValue(zero, i, &key, &value);
        fields.push_back(PREVIOUS_PREFIX + key);
    }
    if (withStation) {
        fields.emplace_back(STATION_COLUMN);
    }
    return fields;
}

// A spreadsheet takes a cell that starts with one of these for a formula, and a device's version text or
// a unit's name must never run as one. Such a cell gets an apostrophe in front, as spreadsheets mark
// text, and so does a cell that starts with an apostrophe itself, so that reading takes exactly one off.
bool StartsLikeFormula(const std::string& text) {
    return !text.empty() && std::string("=+-@\t'").find(text.front()) != std::string::npos;
}

// Every row is one line: line breaks in a field become blanks.
std::string CellOf(std::string text) {
    for (char& c : text) {
        c = c == '\r' || c == '\n' ? ' ' : c;
    }
    return StartsLikeFormula(text) ? "'" + text : text;
}

std::string ValueOf(const std::string& cell) {
    return cell.size() > 1 && cell.front() == '\'' && StartsLikeFormula(cell.substr(1)) ? cell.substr(1)
                                                                                        : cell;
}

bool Refuse(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

bool ReadRow(std::vector<std::string> fields, bool withStation, RecordRow* row, std::string* why) {
    const std::size_t cells =
        FIXED_COUNT + static_cast<std::size_t>(SetupLineCount()) + (withStation ? 1 : 0);
    if (fields.size() != cells) {
        *why = Counted(fields.size(), "cell") + " instead of " + std::to_string(cells);
        return false;
    }
    for (std::string& field : fields) {
        field = ValueOf(field);
    }
    if (withStation) {
        row->Station = fields.back();
        fields.pop_back();
    }
    if (!FindName(EVENT_NAMES, fields[5], &row->Event) || !FindName(SAVE_NAMES, fields[8], &row->Save)) {
        *why = "unknown event \"" + fields[5] + "\" or save \"" + fields[8] + "\"";
        return false;
    }
    row->Time = fields[0];
    row->Unit = fields[1];
    row->Port = fields[2];
    row->Serial = fields[3];
    row->Version = fields[4];
    row->Status = fields[6];
    row->Message = fields[7];
    row->Seconds = fields[9];
    row->Address = fields[10];
    row->Previous.assign(fields.begin() + FIXED_COUNT, fields.end());
    bool anyPrevious = false;
    for (const std::string& value : row->Previous) {
        anyPrevious = anyPrevious || !value.empty();
    }
    if (!anyPrevious) {
        row->Previous.clear();
    }
    return true;
}

// The start of the line whose '\n' is at `end` - 1.
std::size_t LineStart(std::string_view text, std::size_t end) {
    const std::size_t previous = end >= 2 ? text.rfind('\n', end - 2) : std::string_view::npos;
    return previous == std::string_view::npos ? 0 : previous + 1;
}

// A row that lost its whole CR LF still reads as one when it was cut just after the comma before its last
// cell. Rows carry no Previous values or a full set, whose last is a destination ("enable,address[,name]"):
// quoted for its comma, and, its name being hexadecimal digits, with no doubled quote that a cut could
// end at; only its closing quote ends a whole row. In a record with a Station column the last cell is a
// station's name, which a cut may shorten to any other: only the reading station's own name, which it
// writes on every row it appends, is known whole.
bool EndsWhole(const RecordRow& row, std::string_view line, bool withStation, const std::string& station) {
    if (withStation) {
        return !station.empty() && row.Station == station;
    }
    return row.Previous.empty() || line.back() == '"';
}

} // namespace

const char* EventName(RecordEvent event) {
    return EVENT_NAMES[static_cast<std::size_t>(event)];
}

const char* SaveName(SaveSent save) {
    return SAVE_NAMES[static_cast<std::size_t>(save)];
}

bool ParseEventName(const std::string& text, RecordEvent* event) {
    return FindName(EVENT_NAMES, text, event);
}

bool ParseSaveName(const std::string& text, SaveSent* save) {
    return FindName(SAVE_NAMES, text, save);
}

std::string RecordHeaderText(bool withStation) {
    return std::string(UTF8_BOM) + FormatCsvRow(HeaderFields(withStation));
}

std::string FormatRecordRow(const RecordRow& row, bool withStation) {
    std::vector<std::string> fields = {
        row.Time,    row.Unit,    row.Port,
        row.Serial,  row.Version, EventName(row.Event),
        row.Status,  row.Message, SAVE_NAMES[static_cast<std::size_t>(row.Save)],
        row.Seconds, row.Address};
    fields.resize(FIXED_COUNT + static_cast<std::size_t>(SetupLineCount()));
    for (std::size_t i = 0; i < row.Previous.size() && FIXED_COUNT + i < fields.size(); ++i) {
        fields[FIXED_COUNT + i] = row.Previous[i];
    }
    if (withStation) {
        fields.push_back(row.Station);
    }
    for (std::string& field : fields) {
        field = CellOf(field);
    }
    return FormatCsvRow(fields);
}

std::string FormatRecordText(const std::vector<RecordRow>& rows, bool withStation) {
    std::string text = RecordHeaderText(withStation);
    for (const RecordRow& row : rows) {
        text += FormatRecordRow(row, withStation);
    }
    return text;
}

std::string FormatRecordTime(const LocalTime& time, int32_t utcOffsetMinutes) {
    const char sign = utcOffsetMinutes < 0 ? '-' : '+';
    const int32_t offset = std::abs(utcOffsetMinutes);
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02d:%02d", unsigned{time.Year},
                  unsigned{time.Month}, unsigned{time.Day}, unsigned{time.Hour}, unsigned{time.Minute},
                  unsigned{time.Second}, sign, static_cast<int>(offset / 60 % 100),
                  static_cast<int>(offset % 60));
    return text;
}

std::string RecordTimeNow() {
    LocalTime now{};
    int32_t offset = 0;
    ReadLocalTimeAndOffset(&now, &offset);
    return FormatRecordTime(now, offset);
}

namespace {

// Days since 1970-01-01 to a civil date (the proleptic Gregorian calendar).
LocalTime CivilOf(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    LocalTime time{};
    time.Year = static_cast<uint16_t>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    time.Month = static_cast<uint16_t>(month);
    time.Day = static_cast<uint16_t>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    return time;
}

// A civil date to days since 1970-01-01, the inverse of CivilOf.
int64_t DaysOf(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The number of `count` digits at `at`; false for any other text.
bool DigitsAt(const std::string& text, std::size_t at, std::size_t count, int64_t* value) {
    *value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return false;
        }
        *value = *value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

std::string FormatRecordTimeAt(int64_t utcSeconds, int32_t utcOffsetMinutes) {
    const int64_t local = utcSeconds + int64_t{utcOffsetMinutes} * 60;
    const int64_t days = (local >= 0 ? local : local - 86399) / 86400;
    const int64_t second = local - days * 86400;
    LocalTime time = CivilOf(days);
    time.Hour = static_cast<uint16_t>(second / 3600);
    time.Minute = static_cast<uint16_t>(second / 60 % 60);
    time.Second = static_cast<uint16_t>(second % 60);
    return FormatRecordTime(time, utcOffsetMinutes);
}

bool RecordTimeOffset(const std::string& time, int32_t* utcOffsetMinutes) {
    if (!time.empty() && time.back() == 'Z') {
        *utcOffsetMinutes = 0;
        return true;
    }
    const std::size_t at = time.size() >= 6 ? time.size() - 6 : std::string::npos;
    const auto digit = [&](std::size_t i) { return time[i] >= '0' && time[i] <= '9'; };
    if (at == std::string::npos || (time[at] != '+' && time[at] != '-') || !digit(at + 1) || !digit(at + 2) ||
        time[at + 3] != ':' || !digit(at + 4) || !digit(at + 5)) {
        return false;
    }
    const int32_t minutes = ((time[at + 1] - '0') * 10 + (time[at + 2] - '0')) * 60 +
                            (time[at + 4] - '0') * 10 + (time[at + 5] - '0');
    *utcOffsetMinutes = time[at] == '-' ? -minutes : minutes;
    return true;
}

bool ParseRecordTime(const std::string& time, int64_t* utcSeconds) {
    int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int32_t offset = 0;
    if (time.size() < 20 || time.size() != (time.back() == 'Z' ? 20u : 25u)) {
        return false;
    }
    const bool separated =
        time[4] == '-' && time[7] == '-' && time[10] == 'T' && time[13] == ':' && time[16] == ':';
    if (!separated || !RecordTimeOffset(time, &offset) || !DigitsAt(time, 0, 4, &year) ||
        !DigitsAt(time, 5, 2, &month) || !DigitsAt(time, 8, 2, &day) || !DigitsAt(time, 11, 2, &hour) ||
        !DigitsAt(time, 14, 2, &minute) || !DigitsAt(time, 17, 2, &second) || month < 1 || month > 12 ||
        day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return false;
    }
    *utcSeconds =
        DaysOf(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - int64_t{offset} * 60;
    return true;
}

std::string FormatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds < 0 ? 0.0 : seconds);
    return text;
}

std::vector<std::string> SetupValues(const ParamSet& set) {
    std::vector<std::string> values;
    for (int i = 0; i < SetupLineCount(); ++i) {
        std::string key;
        values.emplace_back();
        FormatSetupKeyValue(set, i, &key, &values.back());
    }
    return values;
}

namespace {

// The first bytes of the station's header, then nothing or zeros: a new record's header that a power cut
// left unfinished.
bool TornHeader(std::string_view text) {
    const std::size_t written = text.find_last_not_of('\0') + 1; // 0 when all are zeros
    const std::string header = RecordHeaderText(true);           // the header without Station begins it
    return written <= header.size() && header.compare(0, written, text.substr(0, written)) == 0;
}

// The first row: the header of a record with or without a Station column.
bool ReadHeader(const std::vector<std::string>& fields, RecordText* record) {
    for (const bool withStation : {false, true}) {
        if (fields == HeaderFields(withStation)) {
            record->HasStation = withStation;
            return true;
        }
    }
    return false;
}

} // namespace

bool ParseRecord(std::string_view text, RecordText* record, std::string* error, const std::string& station) {
    *record = RecordText();
    // The last line is the bytes after the last line end, or, when nothing but zeros follows that (a file
    // system may leave them where a row never landed), the line it ends.
    const std::size_t lastLineEnd = text.rfind('\n');
    const std::size_t afterLast = lastLineEnd == std::string_view::npos ? 0 : lastLineEnd + 1;
    const bool ended = afterLast > 0 && text.find_first_not_of('\0', afterLast) == std::string_view::npos;
    const std::size_t lastStart = ended ? LineStart(text, afterLast) : afterLast;
    const std::size_t lastEnd = ended ? afterLast : text.size();
    const std::string_view lastText = text.substr(lastStart, lastEnd - lastStart);
    const std::string_view lineEnd = ended || lastText.empty() ? "" : lastText.back() == '\r' ? "\n" : "\r\n";
    // Read with the line end it lacks, so that a whole last row reads as one.
    std::string completed;
    std::string_view readable = text.substr(0, lastEnd);
    if (!lineEnd.empty()) {
        completed = std::string(readable);
        completed += lineEnd;
        readable = completed;
    }
    const auto lastLine =
        1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + lastStart, '\n'));
    CCsvReader reader(readable);
    CsvRow fields;
    CsvRead read;
    for (std::size_t number = 1; (read = reader.Next(&fields)) != CsvRead::End; ++number) {
        const bool last = fields.Line == lastLine;
        RecordRow row;
        std::string why;
        bool whole =
            read == CsvRead::Row && (number == 1 ? ReadHeader(fields.Fields, record)
                                                 : ReadRow(fields.Fields, record->HasStation, &row, &why));
        if (whole && last && number > 1 && lineEnd == "\r\n") {
            whole = EndsWhole(row, lastText, record->HasStation, station);
        }
        if (whole) {
            if (number == 1) {
                record->HasHeader = true;
            } else {
                record->Rows.push_back(std::move(row));
            }
            continue;
        }
        // A torn row only ever follows the station's header; a first line is torn only where the station
        // was writing that header. Anything else is another program's file.
        if (last && (number > 1 || (!ended && TornHeader(text.substr(lastStart))))) {
            record->KeptSize = lastStart;
            record->Torn = std::string(text.substr(lastStart));
            return true;
        }
        if (number == 1) {
            return Refuse(error, "its first row is not the header of a station record");
        }
        return Refuse(error,
                      read == CsvRead::Error ? reader.Error() : "row " + std::to_string(number) + ": " + why);
    }
    record->KeptSize = lastEnd;
    record->Torn = std::string(text.substr(lastEnd));
    record->MissingLineEnd = std::string(lineEnd);
    return true;
}

std::string PrintableExcerpt(const std::string& text) {
    constexpr std::size_t SHOWN = 100;
    return PrintableLine(text.substr(0, SHOWN)) + (text.size() > SHOWN ? "..." : "");
}

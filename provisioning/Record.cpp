// The record's rows as CSV and back; portable.
#include "provisioning/Record.h"

#include "persistence/ByteOrderMark.h"
#include "persistence/SetupLines.h"
#include "provisioning/Csv.h"

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

std::vector<std::string> HeaderFields() {
    std::vector<std::string> fields(FIXED_COLUMNS, FIXED_COLUMNS + FIXED_COUNT);
    const ParamSet zero{};
    for (int i = 0; i < SetupLineCount(); ++i) {
        std::string key;
        std::string value;
        FormatSetupKeyValue(zero, i, &key, &value);
        fields.push_back(PREVIOUS_PREFIX + key);
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

bool ReadRow(std::vector<std::string> fields, RecordRow* row, std::string* why) {
    if (fields.size() != FIXED_COUNT + static_cast<std::size_t>(SetupLineCount())) {
        *why = std::to_string(fields.size()) + " cells instead of " +
               std::to_string(FIXED_COUNT + SetupLineCount());
        return false;
    }
    for (std::string& field : fields) {
        field = ValueOf(field);
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

} // namespace

const char* EventName(RecordEvent event) {
    return EVENT_NAMES[static_cast<std::size_t>(event)];
}

std::string RecordHeaderText() {
    return std::string(UTF8_BOM) + FormatCsvRow(HeaderFields());
}

std::string FormatRecordRow(const RecordRow& row) {
    std::vector<std::string> fields = {
        row.Time,    row.Unit,    row.Port,
        row.Serial,  row.Version, EventName(row.Event),
        row.Status,  row.Message, SAVE_NAMES[static_cast<std::size_t>(row.Save)],
        row.Seconds, row.Address};
    fields.resize(FIXED_COUNT + static_cast<std::size_t>(SetupLineCount()));
    for (std::size_t i = 0; i < row.Previous.size() && FIXED_COUNT + i < fields.size(); ++i) {
        fields[FIXED_COUNT + i] = row.Previous[i];
    }
    for (std::string& field : fields) {
        field = CellOf(field);
    }
    return FormatCsvRow(fields);
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

bool ParseRecord(std::string_view text, RecordText* record, std::string* error) {
    *record = RecordText();
    const std::size_t lastLineEnd = text.rfind('\n');
    record->KeptSize = lastLineEnd == std::string_view::npos ? 0 : lastLineEnd + 1;
    record->Torn = std::string(text.substr(record->KeptSize));
    CCsvReader reader(text.substr(0, record->KeptSize));
    CsvRow row;
    CsvRead read = reader.Next(&row);
    if (read == CsvRead::End) {
        return true;
    }
    if (read == CsvRead::Error || row.Fields != HeaderFields()) {
        return Refuse(error, "its first row is not the header of a station record");
    }
    record->HasHeader = true;
    for (std::size_t number = 2; (read = reader.Next(&row)) == CsvRead::Row; ++number) {
        record->Rows.emplace_back();
        std::string why;
        if (!ReadRow(row.Fields, &record->Rows.back(), &why)) {
            return Refuse(error, "row " + std::to_string(number) + ": " + why);
        }
    }
    return read == CsvRead::End || Refuse(error, reader.Error());
}

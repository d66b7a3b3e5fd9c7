// Fuzz target: the station's comma-separated text on arbitrary bytes. Rows that read are written and
// read back the same; a unit table that is accepted (with any of its separators) has named, distinct
// units with distinct own addresses; a record that is accepted (with or without a Station column) reads
// back the same after it is written again, and after its torn last row is cut or its lost line end
// appended.
#include "provisioning/Csv.h"
#include "provisioning/Plan.h"
#include "provisioning/Record.h"

#include "SampleParams.h"

#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<std::vector<std::string>> ReadRows(std::string_view text, bool* complete) {
    CCsvReader reader(text);
    CsvRow row;
    std::vector<std::vector<std::string>> rows;
    CsvRead read;
    while ((read = reader.Next(&row)) == CsvRead::Row) {
        rows.push_back(row.Fields);
    }
    *complete = read == CsvRead::End;
    Check(read == CsvRead::End || !reader.Error().empty());
    return rows;
}

void CheckCsvRoundTrip(std::string_view text) {
    bool complete = false;
    const auto rows = ReadRows(text, &complete);
    if (!complete) {
        return;
    }
    // The reader skips one byte order mark at the start: the text written again begins with one.
    std::string again = "\xEF\xBB\xBF";
    for (const auto& fields : rows) {
        again += FormatCsvRow(fields);
    }
    bool againComplete = false;
    Check(ReadRows(again, &againComplete) == rows && againComplete);
}

void CheckUnitTable(std::string_view text) {
    std::vector<PlanUnit> units;
    std::string error;
    if (!ReadUnitTable(SampleParamSet(), text, &units, &error)) {
        Check(!error.empty() && units.size() <= MAX_PLAN_UNITS);
        return;
    }
    std::set<std::string> names;
    std::set<uint32_t> addresses;
    for (const PlanUnit& unit : units) {
        Check(!unit.Name.empty() && names.insert(unit.Name).second);
        Check(unit.Set.IPAddress == 0 || addresses.insert(unit.Set.IPAddress).second);
    }
}

void CheckRecord(std::string_view text) {
    RecordText record;
    std::string error;
    if (!ParseRecord(text, &record, &error)) {
        return;
    }
    Check(record.KeptSize + record.Torn.size() == text.size());
    Check(record.Torn.empty() || record.MissingLineEnd.empty());
    // Cut and completed as told, the text reads as the same rows with nothing left to mend.
    RecordText mended;
    Check(
        ParseRecord(std::string(text.substr(0, record.KeptSize)) + record.MissingLineEnd, &mended, &error) &&
        mended.Rows.size() == record.Rows.size() && mended.Torn.empty() && mended.MissingLineEnd.empty());
    // Written again in its form, with or without a Station column.
    const bool station = record.HasStation;
    RecordText reread;
    Check(ParseRecord(FormatRecordText(record.Rows, station), &reread, &error) &&
          reread.HasStation == station && reread.Rows.size() == record.Rows.size() && reread.Torn.empty() &&
          reread.MissingLineEnd.empty());
    for (std::size_t i = 0; i < record.Rows.size(); ++i) {
        Check(FormatRecordRow(reread.Rows[i], station) == FormatRecordRow(record.Rows[i], station));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckCsvRoundTrip(text);
    CheckUnitTable(text);
    CheckRecord(text);
    return 0;
}

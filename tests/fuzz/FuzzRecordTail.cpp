// Fuzz target: a record as the station writes it, with or without a Station column (a ledger's export
// that a station goes on with, its own rows named last), its last row then hurt as a power cut may leave
// it (cut anywhere, zero-filled in part, its line end lost, zeros after it). The record always reads;
// every row before the last survives as written; the last survives only when all of it is there, and it
// does when it lacks no more than its line end; cut and completed as told, the file reads as those rows.
#include "persistence/SetupLines.h"
#include "provisioning/Record.h"

#include "FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct CFuzzBytes {
    const uint8_t* Data;
    std::size_t Size;
    std::size_t At = 0;

    // 0 once the input is used up.
    uint8_t Byte() { return At < Size ? Data[At++] : 0; }
    std::size_t Number() { return Byte() * 256u + Byte(); }
    // Up to 31 bytes of any text but NUL, which the station never writes.
    std::string Text() {
        std::string text(Byte() % 32, ' ');
        for (char& c : text) {
            c = static_cast<char>(Byte());
            c = c == '\0' ? ' ' : c;
        }
        return text;
    }
};

// A row as the station writes it: a started row carries the device's configuration, a baud rate first
// and a destination ("enable,address[,name]", the name in hexadecimal digits) last.
RecordRow MakeRow(CFuzzBytes* bytes) {
    RecordRow row;
    row.Event = static_cast<RecordEvent>(bytes->Byte() % 6);
    row.Save = static_cast<SaveSent>(bytes->Byte() % 4);
    for (std::string* field : {&row.Time, &row.Unit, &row.Port, &row.Serial, &row.Version, &row.Status,
                               &row.Message, &row.Seconds, &row.Address}) {
        *field = bytes->Text();
    }
    if (row.Event != RecordEvent::Started) {
        return row;
    }
    row.Previous.push_back(std::to_string(1200 * (1 + bytes->Byte())));
    while (row.Previous.size() + 1 < static_cast<std::size_t>(SetupLineCount())) {
        row.Previous.push_back(bytes->Text());
    }
    std::string name;
    for (std::size_t i = bytes->Byte() % 8 * 2; i > 0; --i) {
        name += "0123456789ABCDEF"[bytes->Byte() % 16];
    }
    row.Previous.push_back(std::to_string(bytes->Byte() % 2) + ",10.0.0." + std::to_string(bytes->Byte()) +
                           (name.empty() ? "" : "," + name));
    return row;
}

std::string RecordOf(const std::vector<RecordRow>& rows, std::size_t count, bool withStation) {
    return FormatRecordText(std::vector<RecordRow>(rows.begin(), rows.begin() + count), withStation);
}

// A station's name as it writes it: never empty, one line (the record keeps every row on one line).
std::string StationName(CFuzzBytes* bytes) {
    std::string name = "pc" + bytes->Text();
    std::replace(name.begin(), name.end(), '\r', ' ');
    std::replace(name.begin(), name.end(), '\n', ' ');
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    CFuzzBytes bytes{data, size};
    // What the power cut does, then the rows.
    const uint8_t damage = bytes.Byte();
    const std::size_t cut = bytes.Number();
    const std::size_t zeroFrom = bytes.Number();
    const std::size_t zeroCount = bytes.Byte();
    const std::size_t zerosAfter = bytes.Byte();
    const bool withStation = (damage & 32) != 0;
    const std::string station = withStation ? StationName(&bytes) : std::string();
    std::vector<RecordRow> rows(1 + bytes.Byte() % 4);
    for (RecordRow& row : rows) {
        row = MakeRow(&bytes);
        row.Station = withStation ? bytes.Text() : std::string();
    }
    rows.back().Station = station; // the last row, the one being written, is the reading station's

    const std::string whole = FormatRecordRow(rows.back(), withStation);
    const std::string content = whole.substr(0, whole.size() - 2);
    std::string last = whole.substr(0, whole.size() - (damage & 3) % 3); // its LF, or its CR LF, lost
    if (damage & 4) {
        last.resize(cut % (last.size() + 1));
    }
    if ((damage & 8) && !last.empty()) {
        const std::size_t from = zeroFrom % last.size();
        const std::size_t count = std::min(zeroCount, last.size() - from);
        last.replace(from, count, count, '\0');
    }
    if (damage & 16) {
        last.append(zerosAfter, '\0');
    }
    const std::string text = RecordOf(rows, rows.size() - 1, withStation) + last;

    RecordText record;
    std::string error;
    Check(ParseRecord(text, &record, &error, station) && record.HasStation == withStation);
    const std::size_t kept = record.Rows.size();
    Check(kept + 1 == rows.size() || kept == rows.size());
    Check(record.Torn.empty() || record.MissingLineEnd.empty());
    Check(record.KeptSize + record.Torn.size() == text.size());
    // The rows read are those written, and the file, cut and completed, holds them and nothing else.
    const std::string expected = RecordOf(rows, kept, withStation);
    Check(RecordOf(record.Rows, kept, withStation) == expected);
    Check(text.substr(0, record.KeptSize) + record.MissingLineEnd == expected);

    const bool intact = last.compare(0, content.size(), content) == 0;
    const std::string lineEnd = intact ? last.substr(content.size()) : std::string();
    const bool lostOnlyLineEnd =
        intact &&
        (lineEnd.empty() || lineEnd == "\r" ||
         (lineEnd.compare(0, 2, "\r\n") == 0 && lineEnd.find_first_not_of('\0', 2) == std::string::npos));
    Check(kept < rows.size() || intact);
    Check(kept == rows.size() || !lostOnlyLineEnd);
    return 0;
}

// The station's portable core: comma-separated text, the plan from a unit table or an address range,
// the record's rows and its unfinished last row, what the record says of each unit, and the record's
// file (one station at a time). Rows that survive a restart show in the station's runs.
#include "persistence/SetupLines.h"
#include "provisioning/Csv.h"
#include "provisioning/Plan.h"
#include "provisioning/Record.h"
#include "provisioning/RecordLog.h"
#include "provisioning/UnitBook.h"

#include "SampleParams.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Rows as "[a][b]/[c]", or "error: WHY".
std::string ReadAll(const std::string& text) {
    CCsvReader reader(text);
    CsvRow row;
    std::string all;
    CsvRead read;
    while ((read = reader.Next(&row)) == CsvRead::Row) {
        all += all.empty() ? "" : "/";
        for (const std::string& field : row.Fields) {
            all += "[" + field + "]";
        }
    }
    return read == CsvRead::Error ? "error: " + reader.Error() : all;
}

TEST(Csv, ReadsWhatSpreadsheetsWriteAndRefusesWhatNoneWrites) {
    const struct {
        std::string Text;
        const char* Rows;
    } cases[] = {
        {"a,b\nc,d", "[a][b]/[c][d]"},
        {"\xEF\xBB\xBFUnit,IPAddress\r\n", "[Unit][IPAddress]"},
        {"\"x,y\",\"he said \"\"hi\"\"\"\r\n", "[x,y][he said \"hi\"]"},
        {"\"two\r\nlines\",z\r\n", "[two\r\nlines][z]"},
        {"a,,\r\n,\r\n\r\n", "[a][][]/[][]/[]"},
        {"a,b\"c\r\n", "error: line 1: a quote inside an unquoted field"},
        {"ok\r\n\"a\"b\r\n", "error: line 2: text after a closing quote"},
        {"a\rb\r\n", "error: line 1: a CR that ends no line"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Rows, ReadAll(c.Text)) << c.Text;
    }
}

std::string Value(const ParamSet& set, const char* key) {
    std::string name;
    std::string value;
    FormatSetupKeyValue(set, FindSetupLine(key), &name, &value);
    return value;
}

// The units as "NAME ADDRESS TARGET3 GATEWAY; ...".
std::string Listed(const std::vector<PlanUnit>& units) {
    std::string listed;
    for (const PlanUnit& unit : units) {
        listed += unit.Name + " " + Value(unit.Set, "IPAddress") + " " + Value(unit.Set, "Target3") + " " +
                  Value(unit.Set, "Gateway") + "; ";
    }
    return listed;
}

// The template: 192.168.0.10/24 via 192.168.0.1, its Target3 "1,10.0.0.3". Spreadsheets of decimal-comma
// locales save "CSV" with semicolons, and some tools with tabs: the header row decides, and the table reads
// as its comma form does, quoting and all. An address range gives one unit per address, named by it.
TEST(Plan, EachUnitIsTheTemplateWithItsOwnCellsInEverySeparatorsFormOrItsAddress) {
    const struct {
        std::string Text;
        char Separator;
    } cases[] = {
        {"Unit,ipaddress,Target3\r\nS-1,192.168.0.21,\"1,10.9.9.9,4142\"\r\n,,\r\n S-2 ,192.168.0.22,\r\n",
         ','},
        {"Unit;IPAddress;Target3\r\nS-1;192.168.0.21;1,10.9.9.9,4142\r\nS-2;192.168.0.22;\r\n", ';'},
        {"\xEF\xBB\xBF\"Unit\";\"IPAddress\";\"Target3\"\r\n\"S-1\";192.168.0.21;\"1,10.9.9.9,4142\"\nS-2;"
         "192.168.0.22\n",
         ';'},
        {"Unit\tIPAddress\tTarget3\r\n S-1 \t192.168.0.21\t\"1,10.9.9.9,4142\"\r\nS-2\t192.168.0.22\t\r\n",
         '\t'},
    };
    std::vector<PlanUnit> units;
    std::string error;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        char separator = 0;
        ASSERT_TRUE(ReadUnitTable(SampleParamSet(), c.Text, &units, &error, &separator)) << error;
        EXPECT_EQ(c.Separator, separator);
        EXPECT_EQ("S-1 192.168.0.21 1,10.9.9.9,4142 192.168.0.1; S-2 192.168.0.22 1,10.0.0.3 192.168.0.1; ",
                  Listed(units));
    }
    std::string names;
    for (const char* range : {"192.168.0.20-192.168.0.22", "192.168.0.23-192.168.0.23"}) {
        ASSERT_TRUE(MakeAddressRange(SampleParamSet(), range, &units, &error)) << error;
        for (const PlanUnit& unit : units) {
            names += unit.Name + " ";
            EXPECT_EQ(unit.Name, Value(unit.Set, "IPAddress"));
        }
    }
    EXPECT_EQ("192.168.0.20 192.168.0.21 192.168.0.22 192.168.0.23 ", names);
}

TEST(Plan, RefusedPlansNameTheRowAndTheColumnOrTheAddress) {
    const struct {
        std::string Text;
        const char* Error;  // its start
        bool Range = false; // an address range, not a unit table
    } cases[] = {
        {"Unit,IPAdress\r\nS-1,192.168.0.21\r\n",
         "row 1, column 2: \"IPAdress\" is neither Unit nor a setup key"},
        {"IPAddress\r\n192.168.0.21\r\n", "row 1: no Unit column"},
        // A header that no separator gives a Unit column is read as a comma-separated one.
        {"Name;IPAddress\r\nS-1;192.168.0.21\r\n",
         "row 1, column 1: \"Name;IPAddress\" is neither Unit nor a setup key"},
        {"Unit;IPAddress,Gateway\r\n",
         "row 1, column 2: \"IPAddress,Gateway\" is neither Unit nor a setup key"},
        {"Unit,IPAddress,ipaddress\r\n", "row 1, column 3: ipaddress is a second column for the same key"},
        {"Unit,Gateway\r\nS-1,192.168.0.1\r\nS-2,10.0.0.300\r\n",
         "row 3 (unit S-2), column Gateway: \"10.0.0.300\" is no value for Gateway"},
        {"Unit,Target3\r\nS-1,\"1,10.0.0.3;x\"\r\n",
         "row 2 (unit S-1), column Target3: \"1,10.0.0.3;x\" is no value for Target3"},
        {"Unit,IPAddress\r\n,192.168.0.21\r\n", "row 2, column Unit: a unit needs a name"},
        {"Unit,IPAddress\r\nS-1,192.168.0.21,x\r\n", "row 2: 3 cells, but the header names 2 columns"},
        {"Unit,IPAddress\r\nS-1,192.168.0.21\r\nS-1,192.168.0.22\r\n",
         "row 3 (unit S-1): the unit name is also that of row 2"},
        {"Unit\r\nS-1\r\nS-2\r\n",
         "row 3 (unit S-2), column IPAddress: own address 192.168.0.10 is also that of row 2 (unit S-1)"},
        {"Unit,IPAddress\r\nS-1,192.168.0.255\r\n", "row 2 (unit S-1), column IPAddress: own address "
                                                    "192.168.0.255 is the broadcast address of its network"},
        {"Unit,IPAddress\r\nS-1,192.168.0.1\r\n",
         "row 2 (unit S-1), column IPAddress: own address 192.168.0.1 is the gateway's"},
        {"Unit,IPAddress\r\n", "the unit table has no unit below its header"},
        {"Unit,IPAddress\r\nS-1,\"192.168.0.21\r\n", "line 2: a quoted field that is never closed"},
        {"192.168.0.22-192.168.0.20", "address range 192.168.0.22-192.168.0.20: FIRST must", true},
        {"192.168.0.20", "\"192.168.0.20\" is no address range", true},
        {"192.168.0.20-192.168.0", "\"192.168.0.20-192.168.0\" is no address range", true},
        {"10.0.0.1-10.0.255.255", "address range 10.0.0.1-10.0.255.255: a plan holds at most 4096", true},
        {"192.168.0.253-192.168.1.2", "address 192.168.0.255: own address 192.168.0.255 is the broadcast",
         true},
        {"192.168.0.0-192.168.0.2", "address 192.168.0.0: own address 192.168.0.0 is the address of its",
         true},
    };
    for (const auto& c : cases) {
        std::vector<PlanUnit> units;
        std::string error;
        EXPECT_FALSE(c.Range ? MakeAddressRange(SampleParamSet(), c.Text, &units, &error)
                             : ReadUnitTable(SampleParamSet(), c.Text, &units, &error))
            << c.Text;
        EXPECT_EQ(0u, error.find(c.Error)) << error;
    }
    std::vector<PlanUnit> units;
    std::string error;
    EXPECT_FALSE(ReadUnitTable(SampleParamSet(), "Unit\r\nS-1,192.168.0.21\r\n", &units, &error));
    EXPECT_EQ("row 2: 2 cells, but the header names 1 column", error);
}

using E = RecordEvent;
using S = SaveSent;

// A row of the record; the address is the unit's name (the units of an address range are named so).
RecordRow Row(const char* unit, RecordEvent event, SaveSent save = S::Unknown, const char* address = nullptr,
              const char* station = "") {
    const char* const time = "2024-05-01T14:03:07+02:00";
    return {time,    unit, "", "", "", event, "", "", save, "", address != nullptr ? address : unit,
            station, {}};
}

std::string RecordOf(const std::vector<RecordRow>& rows) {
    return FormatRecordText(rows, false);
}

// Whatever a power cut did to the last row, the record opens: the row is cut off, or given back the line
// end it lacked; only an earlier row that is no station row, or a first row that is no record's header
// (nor one torn while it was written), refuses the record, and leaves it as it was. What the parser makes of
// every tail a power cut leaves (zeros in it or after it, a started row cut or without its line end) is the
// record-tail fuzz target's, whose seeds every build replays; here the file that the station goes on with.
// A ledger's export names the station of each row in a last column, which the unit-state rules need: a
// station goes on with it as its record and keeps the column. Its own last row that lost its line end is
// completed; any other name there may be a cut one (line-1 of line-10), so such a row is cut off.
TEST(RecordLog, ATornLastRowIsCutAndOneThatLostOnlyItsLineEndIsCompleted) {
    RecordRow started = Row("S-2", E::Started);
    started.Previous = SetupValues(SampleParamSet());
    const std::string start = FormatRecordRow(started);
    const std::string head = RecordOf({Row("S-1", E::Started), Row("S-1", E::Done, S::Yes)});
    const std::string base = head + start;
    const std::string done = FormatRecordRow(Row("S-2", E::Done, S::Yes));
    const std::string bare = done.substr(0, done.size() - 2);
    const std::size_t lastCell = start.rfind(",\"") + 1;
    const std::string zeros(20, '\0');
    std::string edited = base;
    edited.replace(edited.find(",done,"), 6, ",fine,");
    const std::string exported = FormatRecordText({Row("S-1", E::Started, S::Unknown, nullptr, "line-1"),
                                                   Row("S-1", E::Done, S::Yes, nullptr, "line-10")},
                                                  true);
    const std::string own = FormatRecordRow(Row("S-2", E::Failed, S::No, nullptr, "pc-9"), true);
    const std::string ownBare = own.substr(0, own.size() - 2);
    const std::string other = FormatRecordRow(Row("S-2", E::Failed, S::No, nullptr, "line-10"), true);
    const std::string otherBare = other.substr(0, other.size() - 2);
    const struct {
        std::string Text;
        std::string Torn;
        std::string LineEnd;
        const char* Error;    // refused
        bool Station = false; // a ledger's export
    } cases[] = {
        {base + done.substr(0, 40), done.substr(0, 40), "", nullptr},
        {base + bare + "\r", "", "\n", nullptr},
        {base + bare, "", "\r\n", nullptr},
        {base + "a,b\r\n", "a,b\r\n", "", nullptr},
        // Cut just after the comma that opens its last cell, a started row would read as one.
        {head + start.substr(0, lastCell), start.substr(0, lastCell), "", nullptr},
        {RecordHeaderText().substr(0, 20), RecordHeaderText().substr(0, 20), "", nullptr},
        {RecordHeaderText().substr(0, RecordHeaderText().size() - 2), "", "\r\n", nullptr},
        {edited + bare, "", "", "row 3: unknown event \"fine\" or save \"yes\""},
        {base + zeros + "\r\n" + done, "", "", "line 5: a NUL byte"},
        {base + "x,\"open\r\n" + done, "", "", "line 5: a quoted field that is never closed"},
        {base + "a,b\r\n" + done, "", "", "row 5: 2 cells instead of 47"},
        {base + "a\r\n" + done, "", "", "row 5: 1 cell instead of 47"},
        {"Unit,IPAddress\r\nS-1,192.168.0.21\r\n", "", "",
         "its first row is not the header of a station record"},
        // A file of one line without its line end is another program's, not a record whose header tore.
        {"notes of the day", "", "", "its first row is not the header of a station record"},
        {RecordHeaderText().substr(0, 20) + zeros, RecordHeaderText().substr(0, 20) + zeros, "", nullptr},
        {exported, "", "", nullptr, true},
        {exported + own, "", "", nullptr, true},
        {exported + ownBare, "", "\r\n", nullptr, true},
        {exported + ownBare.substr(0, ownBare.size() - 2), ownBare.substr(0, ownBare.size() - 2), "", nullptr,
         true},
        {exported + otherBare, otherBare, "", nullptr, true},
        {exported + otherBare.substr(0, otherBare.size() - 1), otherBare.substr(0, otherBare.size() - 1), "",
         nullptr, true},
    };
    const CScratchDir dir;
    const RecordRow next = Row("S-3", E::Started, S::Unknown, nullptr, "pc-9");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        const std::string path = dir.Write("record.csv", c.Text);
        CRecordLog log;
        std::string error;
        ASSERT_EQ(c.Error == nullptr,
                  log.Open(path, &error, RecordLogForm{"", RecordFileReaders::Everyone, "pc-9"}))
            << error;
        if (c.Error != nullptr) {
            EXPECT_EQ("record " + path + ": " + c.Error, error);
            EXPECT_EQ(c.Text, ReadWholeFile(path));
            continue;
        }
        // The file as the station goes on with it: torn bytes cut, the line end appended, a header. A
        // record of one station stays as it is, byte for byte, and without names.
        const std::string kept = c.Text.substr(0, c.Text.size() - c.Torn.size()) + c.LineEnd;
        const std::string file = kept.empty() ? RecordHeaderText() : kept;
        EXPECT_EQ(c.Torn, log.Torn());
        EXPECT_EQ(!c.LineEnd.empty(), log.Completed());
        EXPECT_EQ(c.Station, log.HasStation());
        EXPECT_EQ(c.Station ? "pc-9" : "", log.Station());
        EXPECT_EQ(file, FormatRecordText(log.Rows(), c.Station));
        ASSERT_TRUE(log.Append(next, &error)) << error;
        EXPECT_EQ(file + FormatRecordRow(next, c.Station), ReadWholeFile(path));
    }
}

TEST(Record, CellsStayOneLineAndNoneRunsAsAFormula) {
    const struct {
        const char* Value;
        const char* Cell; // as the file holds it
        const char* Read;
    } cases[] = {
        {"first\r\nsecond", "first  second", "first  second"},
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\"", "=HYPERLINK(\"x\")"},
        {"+1", "'+1", "+1"},
        {"-S1", "'-S1", "-S1"},
        {"@SUM(A1)", "'@SUM(A1)", "@SUM(A1)"},
        {"'quoted", "''quoted", "'quoted"},
        {"it's", "it's", "it's"},
    };
    for (const auto& c : cases) {
        RecordRow row = Row("S-1", E::Failed, S::No);
        row.Version = c.Value;
        const std::string text = FormatRecordRow(row);
        EXPECT_NE(std::string::npos, text.find(std::string(",") + c.Cell + ",")) << text;
        RecordText record;
        std::string error;
        ASSERT_TRUE(ParseRecord(RecordOf({row}), &record, &error)) << error;
        EXPECT_EQ(c.Read, record.Rows.at(0).Version);
    }
}

TEST(Record, TimeNamesItsOffsetFromUtcAndSecondsKeepATenth) {
    EXPECT_EQ("3.1", FormatSeconds(3.14));
    const LocalTime time{2024, 5, 1, 14, 3, 7};
    EXPECT_EQ("2024-05-01T14:03:07+02:00", FormatRecordTime(time, 120));
    EXPECT_EQ("2024-05-01T14:03:07-03:30", FormatRecordTime(time, -210));
    EXPECT_EQ("2024-05-01T14:03:07+00:00", FormatRecordTime(time, 0));
    // The moment a time names, for ordering times of any zone and day; and written back the same.
    const struct {
        const char* Time;
        bool Read;
        int64_t Utc;
    } moments[] = {
        {"2024-05-01T14:03:07+02:00", true, 1714564987},
        {"2024-05-01T12:03:07Z", true, 1714564987},
        {"2024-05-01T08:33:07-03:30", true, 1714564987},
        {"2024-03-01T00:30:00+01:00", true, 1709249400}, // the day before is February 29th
        {"2024-05-01 14:03:07+02:00", false, 0},
        {"2024-13-01T14:03:07+02:00", false, 0},
        {"2024-05-01T14:03:07", false, 0},
        {"14:03:07", false, 0},
    };
    for (const auto& m : moments) {
        SCOPED_TRACE(m.Time);
        int64_t utc = -77;
        ASSERT_EQ(m.Read, ParseRecordTime(m.Time, &utc));
        if (m.Read) {
            EXPECT_EQ(m.Utc, utc);
            int32_t offset = 0;
            ASSERT_TRUE(RecordTimeOffset(m.Time, &offset));
            const std::string named = m.Time;
            EXPECT_EQ(named.back() == 'Z' ? named.substr(0, 19) + "+00:00" : named,
                      FormatRecordTimeAt(utc, offset));
        }
    }
}

std::vector<PlanUnit> ThreeUnits() {
    std::vector<PlanUnit> units;
    std::string error;
    MakeAddressRange(SampleParamSet(), "192.168.0.21-192.168.0.23", &units, &error);
    return units;
}

const char* const A = "192.168.0.21";
const char* const B = "192.168.0.22";

std::string States(const CUnitBook& book) {
    static const char* const NAMES[] = {"open", "reserved", "started", "held", "done", "skipped"};
    std::string states;
    for (std::size_t i = 0; i < book.Size(); ++i) {
        states += std::string(i > 0 ? " " : "") + NAMES[static_cast<int>(book.State(i))];
    }
    return states;
}

// Which units the record leaves done, open or waiting for the operator; and an own address that the record
// gave to a unit is never planned for another ("clash": unit B's address went to S-old).
TEST(UnitBook, TheRecordDecidesWhichUnitsAreDoneAndWhichWaitForTheOperator) {
    const struct {
        std::vector<RecordRow> Rows;
        const char* States;
        bool Clash;
    } cases[] = {
        {{}, "open open open", false},
        {{Row(A, E::Started), Row(A, E::Done, S::Yes)}, "done open open", false},
        // Failed before "save": the device kept what it had; the unit goes to the next device.
        {{Row(A, E::Started), Row(A, E::Failed, S::No)}, "open open open", false},
        // Started and never ended: the station stopped while it wrote.
        {{Row(A, E::Started)}, "started open open", false},
        {{Row(A, E::Started), Row(A, E::Failed, S::Maybe)}, "held open open", false},
        {{Row(B, E::Started), Row(B, E::Interrupted, S::Maybe)}, "open held open", false},
        {{Row(B, E::Interrupted, S::No)}, "open open open", false},
        {{Row(A, E::Started), Row(A, E::Redo)}, "open open open", false},
        {{Row(B, E::Skipped), Row("S-9", E::Done, S::Yes, "10.1.1.1")}, "open skipped open", false},
        {{Row("S-old", E::Done, S::Yes, B)}, "open open open", true},
        {{Row("S-old", E::Started, S::Unknown, B)}, "open open open", true},
        {{Row("S-old", E::Failed, S::Maybe, B)}, "open open open", true},
        {{Row("S-old", E::Failed, S::No, B)}, "open open open", false},
        {{Row("S-old", E::Done, S::Yes, "0.0.0.0")}, "open open open", false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        CUnitBook book(ThreeUnits());
        for (const RecordRow& row : cases[i].Rows) {
            book.Apply(row);
        }
        EXPECT_EQ(cases[i].States, States(book)) << "case " << i;
        std::string error;
        EXPECT_EQ(!cases[i].Clash, book.CheckAddresses(&error)) << "case " << i;
        if (cases[i].Clash) {
            EXPECT_EQ("unit 192.168.0.22: own address 192.168.0.22 was given to unit S-old (record row 2)",
                      error);
        }
    }
}

TEST(UnitBook, OperatorDecisionsFitTheUnitsState) {
    CUnitBook book(ThreeUnits());
    book.Apply(Row(A, E::Started));
    book.Apply(Row(A, E::Done, S::Yes));
    book.Apply(Row(B, E::Started));
    const char* const C = "192.168.0.23";
    const struct {
        std::vector<std::string> Redo;
        std::vector<std::string> Skip;
        const char* Result; // the events, or the error's start
    } cases[] = {
        {{B}, {}, "redo"},
        {{}, {B, C}, "skipped skipped"},
        {{A}, {}, "--redo 192.168.0.21: the record has no unsettled write of it"},
        {{}, {A}, "--skip 192.168.0.21: the unit is done or skipped already"},
        {{"S-404"}, {}, "unit S-404 is not in the plan"},
        {{B}, {B}, "unit 192.168.0.22 is given to both --redo and --skip"},
    };
    for (const auto& c : cases) {
        std::vector<RecordRow> rows;
        std::string error;
        std::string result;
        if (book.DecisionRows(c.Redo, c.Skip, &rows, &error)) {
            for (const RecordRow& row : rows) {
                result += std::string(result.empty() ? "" : " ") + EventName(row.Event);
            }
        } else {
            result = error;
        }
        EXPECT_EQ(0u, result.find(c.Result)) << result;
    }
}

TEST(RecordLog, OneStationAtATimeAndOnlyOnAFile) {
    const CScratchDir dir;
    const std::string path = dir / "record.csv";
    std::string error;
    CRecordLog first;
    ASSERT_TRUE(first.Open(path, &error)) << error;
    CRecordLog second;
    EXPECT_FALSE(second.Open(path, &error));
    EXPECT_EQ("record " + path + ": in use by another station or program", error);
    CRecordLog folder;
    EXPECT_FALSE(folder.Open(dir.Path(), &error));
}

} // namespace

// Building the plan from a unit table or an address range, and the rules every unit must meet; portable.
#include "provisioning/Plan.h"

#include "core/Counted.h"
#include "core/IPv4.h"
#include "core/TextParse.h"
#include "persistence/SetupLines.h"
#include "provisioning/Csv.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

constexpr std::size_t MAX_UNIT_NAME = 64;

// Where a unit came from, for messages: "row 4 (unit S-003)" or "address 192.168.1.7".
struct UnitOrigin {
    std::string Text;
    std::size_t Row = 0;
    std::string AddressColumn; // ", column IPAddress" for a unit table's row
};

bool Refuse(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

bool HasControl(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

// The cell `value` for setup line `line` (whose key is `key`) applied to `set`; false when the setup
// file would not take it as it stands. ';' would start a comment there, and a value must fit a line.
bool ApplyCell(ParamSet* set, const std::string& key, const std::string& value) {
    const std::string line = key + "=" + value;
    if (value.find(';') != std::string::npos || HasControl(value) || line.size() >= SETUP_LINE_SIZE) {
        return false;
    }
    char buffer[SETUP_LINE_SIZE];
    std::memcpy(buffer, line.c_str(), line.size() + 1);
    ParamSet changed = *set;
    if (ApplySetupLine(&changed, buffer) != SETUP_LINE_APPLIED) {
        return false;
    }
    *set = changed;
    return true;
}

// Host bits all zero or all one: the network's own address or its broadcast address. Only for masks
// that leave at least two host bits; other masks have no such addresses.
const char* AddressFault(const ParamSet& set) {
    const uint32_t host = ~set.SubnetMask;
    const bool contiguous = (host & (host + 1)) == 0;
    if (set.IPAddress == set.Gateway) {
        return "is the gateway's address";
    }
    if (set.SubnetMask != 0 && contiguous && host >= 3) {
        if ((set.IPAddress & host) == 0) {
            return "is the address of its network";
        }
        if ((set.IPAddress & host) == host) {
            return "is the broadcast address of its network";
        }
    }
    return nullptr;
}

// Every own address other than 0.0.0.0 (the device then asks DHCP for one) belongs to one unit and is
// fit for a device.
bool CheckOwnAddresses(const std::vector<PlanUnit>& units, const std::vector<UnitOrigin>& origins,
                       std::string* error) {
    std::map<uint32_t, std::size_t> owners;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const ParamSet& set = units[i].Set;
        if (set.IPAddress == 0) {
            continue;
        }
        const std::string address = "own address " + AddressText(set.IPAddress);
        const std::string where = origins[i].Text + origins[i].AddressColumn + ": ";
        if (const char* fault = AddressFault(set)) {
            return Refuse(error, where + address + " " + fault);
        }
        const auto [owner, added] = owners.emplace(set.IPAddress, i);
        if (!added) {
            return Refuse(error, where + address + " is also that of " + origins[owner->second].Text);
        }
    }
    return true;
}

struct Column {
    std::string Key; // as the setup file writes it; empty for the unit column
    bool IsUnit = false;
};

bool IsUnitColumn(const std::string& cell) {
    return EqualsNoCase(TrimBlanks(cell), UNIT_COLUMN);
}

bool ReadHeader(const CsvRow& header, std::vector<Column>* columns, std::string* error) {
    std::vector<int> seen;
    bool unit = false;
    for (std::size_t i = 0; i < header.Fields.size(); ++i) {
        const std::string name(TrimBlanks(header.Fields[i]));
        const std::string where = "row 1, column " + std::to_string(i + 1);
        if (IsUnitColumn(name)) {
            if (unit) {
                return Refuse(error, where + ": a second Unit column");
            }
            unit = true;
            columns->push_back({std::string(), true});
            continue;
        }
        const int line = FindSetupLine(name.c_str());
        if (line < 0) {
            return Refuse(error, where + ": \"" + name + "\" is neither Unit nor a setup key");
        }
        for (int earlier : seen) {
            if (earlier == line) {
                return Refuse(error, where + ": " + name + " is a second column for the same key");
            }
        }
        seen.push_back(line);
        std::string key;
        std::string ignored;
        FormatSetupKeyValue(ParamSet{}, line, &key, &ignored);
        columns->push_back({key, false});
    }
    return unit || Refuse(error, "row 1: no Unit column (the header names the columns, separated by commas, "
                                 "semicolons or tabs)");
}

// The first separator whose split of the header row gives a Unit column; a comma when none does.
char SeparatorOf(std::string_view text) {
    for (const char separator : UNIT_TABLE_SEPARATORS) {
        CCsvReader reader(text, separator);
        CsvRow header;
        if (reader.Next(&header) == CsvRead::Row &&
            std::any_of(header.Fields.begin(), header.Fields.end(), IsUnitColumn)) {
            return separator;
        }
    }
    return UNIT_TABLE_SEPARATORS[0];
}

bool IsBlankRow(const CsvRow& row) {
    for (const std::string& field : row.Fields) {
        if (!TrimBlanks(field).empty()) {
            return false;
        }
    }
    return true;
}

std::string UnitNameOf(const CsvRow& row, const std::vector<Column>& columns) {
    for (std::size_t i = 0; i < columns.size() && i < row.Fields.size(); ++i) {
        if (columns[i].IsUnit) {
            return std::string(TrimBlanks(row.Fields[i]));
        }
    }
    return std::string();
}

bool ReadUnitRow(const ParamSet& base, const CsvRow& row, std::size_t rowNumber,
                 const std::vector<Column>& columns, PlanUnit* unit, UnitOrigin* origin, std::string* error) {
    const std::string at = "row " + std::to_string(rowNumber);
    if (row.Fields.size() > columns.size()) {
        return Refuse(error, at + ": " + Counted(row.Fields.size(), "cell") + ", but the header names " +
                                 Counted(columns.size(), "column"));
    }
    unit->Name = UnitNameOf(row, columns);
    if (unit->Name.empty() || unit->Name.size() > MAX_UNIT_NAME || HasControl(unit->Name)) {
        return Refuse(error, at + ", column Unit: a unit needs a name of 1 to 64 characters");
    }
    origin->Text = at + " (unit " + unit->Name + ")";
    origin->Row = rowNumber;
    origin->AddressColumn = ", column IPAddress";
    unit->Set = base;
    for (std::size_t i = 0; i < row.Fields.size(); ++i) {
        const std::string value(TrimBlanks(row.Fields[i]));
        if (columns[i].IsUnit || value.empty()) {
            continue;
        }
        if (!ApplyCell(&unit->Set, columns[i].Key, value)) {
            return Refuse(error, origin->Text + ", column " + columns[i].Key + ": \"" + row.Fields[i] +
                                     "\" is no value for " + columns[i].Key);
        }
    }
    return true;
}

bool CheckUnitNames(const std::vector<PlanUnit>& units, const std::vector<UnitOrigin>& origins,
                    std::string* error) {
    std::map<std::string, std::size_t> names;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto [first, added] = names.emplace(units[i].Name, i);
        if (!added) {
            return Refuse(error, origins[i].Text + ": the unit name is also that of row " +
                                     std::to_string(origins[first->second].Row));
        }
    }
    return true;
}

} // namespace

std::string AddressText(uint32_t address) {
    return std::to_string(IPv4Octet(address, 0)) + "." + std::to_string(IPv4Octet(address, 1)) + "." +
           std::to_string(IPv4Octet(address, 2)) + "." + std::to_string(IPv4Octet(address, 3));
}

const char* SeparatorWords(char separator) {
    return separator == ';' ? "semicolons" : separator == '\t' ? "tabs" : "commas";
}

bool ReadUnitTable(const ParamSet& base, std::string_view text, std::vector<PlanUnit>* units,
                   std::string* error, char* separator) {
    units->clear();
    const char found = SeparatorOf(text);
    if (separator != nullptr) {
        *separator = found;
    }
    CCsvReader reader(text, found);
    CsvRow row;
    std::vector<Column> columns;
    CsvRead read = reader.Next(&row);
    if (read != CsvRead::Row) {
        return Refuse(error, read == CsvRead::End ? "the unit table is empty" : reader.Error());
    }
    if (!ReadHeader(row, &columns, error)) {
        return false;
    }
    std::vector<UnitOrigin> origins;
    for (std::size_t rowNumber = 2; (read = reader.Next(&row)) == CsvRead::Row; ++rowNumber) {
        if (IsBlankRow(row)) {
            continue;
        }
        if (units->size() == MAX_PLAN_UNITS) {
            return Refuse(error, "row " + std::to_string(rowNumber) + ": a plan holds at most " +
                                     std::to_string(MAX_PLAN_UNITS) + " units");
        }
        units->emplace_back();
        origins.emplace_back();
        if (!ReadUnitRow(base, row, rowNumber, columns, &units->back(), &origins.back(), error)) {
            return false;
        }
    }
    if (read == CsvRead::Error) {
        return Refuse(error, reader.Error());
    }
    if (units->empty()) {
        return Refuse(error, "the unit table has no unit below its header");
    }
    return CheckUnitNames(*units, origins, error) && CheckOwnAddresses(*units, origins, error);
}

bool MakeAddressRange(const ParamSet& base, std::string_view range, std::vector<PlanUnit>* units,
                      std::string* error) {
    units->clear();
    const std::size_t dash = range.find('-');
    uint32_t first = 0;
    uint32_t last = 0;
    if (dash == std::string_view::npos || !ParseAddress(std::string(range.substr(0, dash)).c_str(), &first) ||
        !ParseAddress(std::string(range.substr(dash + 1)).c_str(), &last)) {
        return Refuse(error, "\"" + std::string(range) + "\" is no address range FIRST-LAST");
    }
    if (first == 0 || first > last) {
        return Refuse(error, "address range " + std::string(range) +
                                 ": FIRST must be above 0.0.0.0 and not above LAST");
    }
    if (last - first >= MAX_PLAN_UNITS) {
        return Refuse(error, "address range " + std::string(range) + ": a plan holds at most " +
                                 std::to_string(MAX_PLAN_UNITS) + " units");
    }
    std::vector<UnitOrigin> origins;
    for (uint32_t address = first;; ++address) {
        PlanUnit unit{AddressText(address), base};
        unit.Set.IPAddress = address;
        origins.push_back({"address " + unit.Name, 0, ""});
        units->push_back(std::move(unit));
        if (address == last) {
            break;
        }
    }
    return CheckOwnAddresses(*units, origins, error);
}

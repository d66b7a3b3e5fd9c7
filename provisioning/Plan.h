// The station's plan: one unit per row of a unit table or per address of a range, each the template's
// configuration with values of its own; portable.
#pragma once

#include "core/ParamSet.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct PlanUnit {
    std::string Name; // unique in the plan, never empty
    ParamSet Set;     // what the unit's device gets
};

// More units than an installer sets up in a day; keeps a wrong range from filling memory.
constexpr std::size_t MAX_PLAN_UNITS = 4096;

// The column that names each unit in a unit table.
constexpr const char* UNIT_COLUMN = "Unit";

// What a unit table may have between its cells, as spreadsheets save "CSV" in different locales: the
// first of these whose split of the header row gives a Unit column is the table's.
constexpr char UNIT_TABLE_SEPARATORS[] = {',', ';', '\t'};
// "commas", "semicolons", "tabs".
const char* SeparatorWords(char separator);

// Reads a unit table: a header row with a Unit column and setup-file keys (any case) as further
// columns; each row below it is one unit whose non-empty cells, in setup-file value syntax, replace the
// template's values. Rows whose cells are all empty are passed over. The cells are separated by one
// of UNIT_TABLE_SEPARATORS, which `separator` (optional) gets; a header that no separator gives a Unit
// column is refused as a comma-separated one. False, with `error` naming the row (the header is row 1)
// and the column, for an unknown or repeated column, a bad value, an empty or repeated unit name, or
// an own address that is not fit for a device (see CheckOwnAddresses).
bool ReadUnitTable(const ParamSet& base, std::string_view text, std::vector<PlanUnit>* units,
                   std::string* error, char* separator = nullptr);

// "FIRST-LAST" (dotted addresses, FIRST not above LAST): one unit per address, named by it, with the
// template's configuration and that own address.
bool MakeAddressRange(const ParamSet& base, std::string_view range, std::vector<PlanUnit>* units,
                      std::string* error);

// The dotted text of an address: "192.168.1.17".
std::string AddressText(uint32_t address);

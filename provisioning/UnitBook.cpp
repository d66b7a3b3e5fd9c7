// The units' states from the record, the operator's decisions and the next unit for a device; portable.
#include "provisioning/UnitBook.h"

#include "core/TextParse.h"
#include "persistence/SetupCompare.h"

#include <algorithm>

namespace {

// A row after which the unit's own address may be on a device.
bool MayHaveGivenAddress(const RecordRow& row) {
    switch (row.Event) {
    case RecordEvent::Started:
    case RecordEvent::Done:
        return true;
    case RecordEvent::Failed:
    case RecordEvent::Interrupted:
        return row.Save != SaveSent::No;
    default:
        return false;
    }
}

bool Refuse(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

// "/dev/ttyACM0 (serial SN-A, 2024-05-01T14:03:07+02:00)": where an operator finds a unit's device. The
// serial number is the device's own text: shown printable.
std::string DeviceOfRow(const RecordRow& row) {
    return row.Port + " (" + (row.Serial.empty() ? "" : "serial " + PrintableLine(row.Serial) + ", ") +
           row.Time + ")";
}

} // namespace

std::string UnsettledInstruction(const std::string& name, const RecordRow* last, const std::string& how) {
    const std::string where = last != nullptr ? " on " + DeviceOfRow(*last) : "";
    return "its write" + where + " " + how +
           " reached the device's save; see to that device, then run again with --redo " + name +
           " (the next device gets the unit; that device counts as a new one) or --skip " + name +
           " (the unit stays as it is on that device, which the station then leaves alone)";
}

CUnitBook::CUnitBook(const std::vector<PlanUnit>& units) : m_plan(units), m_units(units.size()) {}

int CUnitBook::Find(const std::string& name) const {
    for (std::size_t i = 0; i < m_plan.size(); ++i) {
        if (m_plan[i].Name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CUnitBook::Apply(const RecordRow& row) {
    ++m_rows;
    if (MayHaveGivenAddress(row) && !row.Address.empty() && row.Address != "0.0.0.0") {
        m_given.push_back({row.Address, row.Unit, m_rows + 1});
    }
    const int unit = Find(row.Unit);
    if (unit >= 0) {
        UnitEntry& entry = m_units[static_cast<std::size_t>(unit)];
        entry = NextStanding(entry, row);
    }
}

void CUnitBook::Settle(std::size_t unit, const UnitStanding& standing) {
    UnitEntry& entry = m_units[unit];
    if (entry.State != UnitState::Reserved || standing.State != UnitState::Open) {
        entry = standing;
    }
}

bool CUnitBook::CheckAddresses(std::string* error) const {
    for (const PlanUnit& unit : m_plan) {
        if (unit.Set.IPAddress == 0) {
            continue;
        }
        const std::string address = AddressText(unit.Set.IPAddress);
        for (const GivenAddress& given : m_given) {
            if (given.Address == address && given.Unit != unit.Name) {
                return Refuse(error, "unit " + unit.Name + ": own address " + address +
                                         " was given to unit " + given.Unit + " (record row " +
                                         std::to_string(given.Row) + ")");
            }
        }
    }
    return true;
}

bool CUnitBook::DecisionRows(const std::vector<std::string>& redo, const std::vector<std::string>& skip,
                             std::vector<RecordRow>* rows, std::string* error) const {
    rows->clear();
    for (const bool isRedo : {true, false}) {
        for (const std::string& name : isRedo ? redo : skip) {
            const int unit = Find(name);
            if (unit < 0) {
                return Refuse(error, "unit " + name + " is not in the plan");
            }
            const UnitState state = m_units[static_cast<std::size_t>(unit)].State;
            if (!DecisionFits(state, isRedo ? RecordEvent::Redo : RecordEvent::Skipped)) {
                return Refuse(error, isRedo ? "--redo " + name + ": the record has no unsettled write of it"
                                            : "--skip " + name + ": the unit is done or skipped already");
            }
            if (!isRedo && std::find(redo.begin(), redo.end(), name) != redo.end()) {
                return Refuse(error, "unit " + name + " is given to both --redo and --skip");
            }
            RecordRow row;
            row.Unit = name;
            row.Event = isRedo ? RecordEvent::Redo : RecordEvent::Skipped;
            row.Message =
                isRedo ? "given back to the plan by the operator" : "taken out of the plan by the operator";
            rows->push_back(row);
        }
    }
    return true;
}

int CUnitBook::Reserve() {
    for (std::size_t i = 0; i < m_units.size(); ++i) {
        if (m_units[i].State == UnitState::Open) {
            m_units[i].State = UnitState::Reserved;
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CUnitBook::Release(std::size_t unit) {
    if (m_units[unit].State == UnitState::Reserved) {
        m_units[unit].State = UnitState::Open;
    }
}

std::vector<std::size_t> CUnitBook::UnitsIn(UnitState state) const {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < m_units.size(); ++i) {
        if (m_units[i].State == state) {
            found.push_back(i);
        }
    }
    return found;
}

bool CUnitBook::Finished() const {
    return std::all_of(m_units.begin(), m_units.end(), [](const UnitEntry& entry) {
        return entry.State == UnitState::Done || entry.State == UnitState::Skipped;
    });
}

CUnitBook::KeptUnit CUnitBook::KeptUnitOf(const ParamSet& device) const {
    for (std::size_t i = 0; i < m_plan.size(); ++i) {
        const uint32_t own = m_plan[i].Set.IPAddress;
        const bool holds = own != 0 ? device.IPAddress == own : HoldsWrittenSetup(device, m_plan[i].Set);
        if (holds && MayBeOnADevice(m_units[i].State)) {
            return {m_plan[i].Name, static_cast<int>(i)};
        }
    }
    // Addresses the record gave: a unit the plan still has gave its own above, unless it was planned anew.
    const std::string address = device.IPAddress != 0 ? AddressText(device.IPAddress) : std::string();
    for (const GivenAddress& given : m_given) {
        const int unit = Find(given.Unit);
        if (!address.empty() && given.Address == address &&
            (unit < 0 || MayBeOnADevice(m_units[static_cast<std::size_t>(unit)].State))) {
            return {given.Unit, unit};
        }
    }
    return {};
}

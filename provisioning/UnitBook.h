// Where each unit of the plan stands, as the record's rows tell it, and the rule that hands out the next
// unit; portable.
#pragma once

#include "provisioning/Plan.h"
#include "provisioning/Record.h"
#include "provisioning/UnitRules.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the operator must do about unit `name`, whose write may have reached its device's save: `how`
// says how that write ended ("has no end in the record, and may have"); `last` is the unit's last row,
// null when there is none.
std::string UnsettledInstruction(const std::string& name, const RecordRow* last, const std::string& how);

class CUnitBook {
public:
    explicit CUnitBook(const std::vector<PlanUnit>& units);

    // A row of the record, read at the start or just appended, moves its unit on (NextStanding). Rows
    // of units that are not in the plan count only for the own addresses they gave.
    void Apply(const RecordRow& row);
    // Where a shared store says the unit stands now, which wins over the rows seen so far; a unit this
    // run has reserved stays so while the store has it open.
    void Settle(std::size_t unit, const UnitStanding& standing);

    // False when an own address of the plan was given to a device under another unit's name (the plan
    // was edited since): two devices would get one address. `error` names both units and the row.
    bool CheckAddresses(std::string* error) const;

    // The rows for the operator's decisions on units that the record left unsettled: --redo gives a
    // Started, Held or Skipped unit back to the plan, --skip takes out a unit that is not done. Time is
    // left for the caller. False, with `error`, for a unit not in the plan or a decision that does not
    // fit its state.
    bool DecisionRows(const std::vector<std::string>& redo, const std::vector<std::string>& skip,
                      std::vector<RecordRow>* rows, std::string* error) const;

    // The first Open unit in plan order, now Reserved; -1 when no unit is open.
    int Reserve();
    // A Reserved unit that was never started goes back to Open.
    void Release(std::size_t unit);

    // The units in `state`, in plan order.
    std::vector<std::size_t> UnitsIn(UnitState state) const;
    UnitState State(std::size_t unit) const { return m_units[unit].State; }
    // The station whose row the unit's state stems from (empty for a record of one station).
    const std::string& StationOf(std::size_t unit) const { return m_units[unit].Station; }
    const PlanUnit& Unit(std::size_t unit) const { return m_plan[unit]; }
    // The unit named `name`; -1 when the plan has none.
    int IndexOf(const std::string& name) const { return Find(name); }
    std::size_t Size() const { return m_plan.size(); }
    // Every unit Done or Skipped.
    bool Finished() const;

    // The unit that may be on a device holding `device` and that must stay there: a started, held, done
    // or skipped unit of the plan whose own address (not 0.0.0.0) the device holds, or whose whole
    // configuration, as a write leaves it, the device holds (units without an own address); or a unit
    // that is no longer in the plan but was given the device's own address in the record. A USB serial
    // number never decides: cheap bridges give every unit the same. Empty Name when there is none.
    struct KeptUnit {
        std::string Name;
        int Unit = -1; // its index in the plan; -1 for a unit that is only in the record
    };
    KeptUnit KeptUnitOf(const ParamSet& device) const;

private:
    using UnitEntry = UnitStanding;
    struct GivenAddress {
        std::string Address;
        std::string Unit;
        std::size_t Row;
    };
    int Find(const std::string& name) const;

    std::vector<PlanUnit> m_plan;
    std::vector<UnitEntry> m_units;
    std::vector<GivenAddress> m_given;
    std::size_t m_rows = 0; // rows applied; the header is row 1
};

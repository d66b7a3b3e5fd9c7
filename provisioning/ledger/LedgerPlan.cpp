// The plan as the ledger keeps it, and the words of a station's state; portable.
#include "provisioning/ledger/Ledger.h"

#include "persistence/ExactSetup.h"

std::string LedgerPlanText(const LedgerPlan& plan) {
    std::string text = "template\n" + FormatExactSetup(plan.Template);
    for (const PlanUnit& unit : plan.Units) {
        text += "unit " + unit.Name + "\n" + FormatExactSetup(unit.Set);
    }
    return text;
}

const char* LedgerStationStateName(LedgerStationState state) {
    switch (state) {
    case LedgerStationState::Running:
        return "running";
    case LedgerStationState::NotSeen:
        return "not seen";
    default:
        return "stopped";
    }
}

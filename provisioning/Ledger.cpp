// The plan as the ledger keeps it; portable.
#include "provisioning/Ledger.h"

#include "persistence/ExactSetup.h"

std::string LedgerPlanText(const LedgerPlan& plan) {
    std::string text = "template\n" + FormatExactSetup(plan.Template);
    for (const PlanUnit& unit : plan.Units) {
        text += "unit " + unit.Name + "\n" + FormatExactSetup(unit.Set);
    }
    return text;
}

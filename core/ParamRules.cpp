// Rules of the device's configuration shared by the engine and the station; portable.
#include "core/ParamRules.h"

void DisableOwnAddressTargets(ParamSet* set) {
    if (set->IPAddress == 0) {
        return;
    }
    for (ParamTarget& target : set->Target) {
        if (target.Address == set->IPAddress) {
            target.Enable = 0;
        }
    }
}

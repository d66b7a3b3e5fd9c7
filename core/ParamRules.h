// Rules of the device's configuration that more than one layer applies; portable.
#pragma once

#include "core/ParamSet.h"

// A write sends the destinations at the device's own address disabled: with IPAddress nonzero, every
// destination whose address equals it gets Enable 0. With IPAddress 0 nothing changes.
void DisableOwnAddressTargets(ParamSet* set);

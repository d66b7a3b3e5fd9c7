// Two configurations compared key by key in setup-file value syntax, and the keys that a write sets;
// portable.
#pragma once

#include "core/ParamSet.h"

#include <string>
#include <vector>

struct SetupDifference {
    std::string Key;  // "BaudRate", "Target3"
    std::string Left; // the value in setup-file syntax: "1,10.0.0.3,4142"
    std::string Right;
};

// Which lines of the setup file take part, by line index.
using SetupKeyMask = std::vector<bool>;

SetupKeyMask EveryKey();
// The keys that a write of `sent` sets on the device: the baud rate only when it is not 0, the three
// addresses only when one of them is not 0, every destination.
SetupKeyMask KeysWrittenFrom(const ParamSet& sent);

// The keys of `mask` whose values differ, in file order.
std::vector<SetupDifference> CompareSetups(const ParamSet& left, const ParamSet& right,
                                           const SetupKeyMask& mask);

// Whether a device that holds `device` holds what a write of `unit` leaves there: every key the write
// sets, with the destinations at the own address disabled as the write sends them.
bool HoldsWrittenSetup(const ParamSet& device, const ParamSet& unit);

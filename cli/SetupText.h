// A configuration as setup-file text and key by key, and the comparison of two configurations; portable.
// The lines are those of CParamFile::Save (persistence's FormatSetupLine), so that a configuration
// printed here and one saved to a file are the same bytes.
#pragma once

#include "core/ParamSet.h"

#include <string>
#include <vector>

// The whole setup file of `set`: every line with its CR LF. False when a line could not be formatted.
bool FormatSetupText(const ParamSet& set, std::string* text);

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

// "Target3: 1,10.0.0.3,4142 -> 0,10.0.0.3,4142"
std::string FormatDifference(const SetupDifference& difference);

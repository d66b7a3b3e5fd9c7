// A configuration as setup-file text, and the lines of a comparison; portable.
// The lines are those of CParamFile::Save (persistence's FormatSetupLine), so that a configuration
// printed here and one saved to a file are the same bytes.
#pragma once

#include "core/ParamSet.h"
#include "persistence/SetupCompare.h"

#include <string>
#include <vector>

// The whole setup file of `set`: every line with its CR LF. False when a line could not be formatted.
bool FormatSetupText(const ParamSet& set, std::string* text);

// "Target3: 1,10.0.0.3,4142 -> 0,10.0.0.3,4142"
std::string FormatDifference(const SetupDifference& difference);

// The simulated device's state in setup-file form, for --load, --state-out and --saved-out; device side
// of the serial link.
#pragma once

#include "core/ParamSet.h"

#include <string>

// Reads the setup file at `path` into `state`; on failure `error` says why and `state` is untouched.
bool LoadSimState(const std::string& path, ParamSet* state, std::string* error);

// Writes `state` to `path` as a setup file; on failure `error` says why.
bool SaveSimState(const std::string& path, const ParamSet& state, std::string* error);

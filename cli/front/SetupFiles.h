// zrvlink's setup files: loading and saving, with failure lines that say which file and why; portable.
#pragma once

#include "cli/front/CliOutcome.h"
#include "persistence/ParamFile.h"

#include <string>

// Loads `path` into `file`. False with `*failure` set when it does not load: the setup program's message,
// then the path and the system's reason when there is one ("WARNING: file load error: a.dat: no such
// file or directory").
bool LoadSetupFile(const std::string& path, CParamFile* file, CliOutcome* failure);

// LoadSetupFile for a file to be sent to a device, which also refuses a file in which no setup key was
// found (an empty or UTF-16 file, a text of something else): it loads as all zeros and would clear
// every setting of the device.
bool LoadSetupFileToSend(const std::string& path, CParamFile* file, CliOutcome* failure);

// Saves `file` to `path`; a failure names the path and the system's reason. A configuration that
// SetupFileCarries refuses is not saved, and `path` is left as it was.
CliOutcome SaveSetupFile(const std::string& path, CParamFile* file);

// Success when a setup file would read back `set` as it is; else the failure (EXIT_FILE_SAVE) that names
// the first key that it would not, and why. A device may hold names that a setup file would cut or trim
// without a word.
CliOutcome SetupFileCarries(const ParamSet& set);

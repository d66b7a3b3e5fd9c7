// zrvlink's setup files: loading and saving, with failure lines that say which file and why, and the
// names of the files that a read on several ports writes; portable.
#pragma once

#include "cli/common/CliOutcome.h"
#include "persistence/ParamFile.h"

#include <string>
#include <vector>

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

// The file that `read --output-dir` makes for `port`: its path without /dev/, every character other
// than letters, digits, '.', '_' and '-' turned into '-', then ".dat" (/dev/pts/3 -> pts-3.dat). Names
// that Windows reserves for devices get "port-" in front (COM7 -> port-COM7.dat).
std::string PortFileName(const std::string& port);

// DIR joined with the port's file name.
std::string PortOutputPath(const std::string& outputDir, const std::string& port);

// True when two of `ports` would read into the same file; the first such port in `clash`.
bool FindFileNameClash(const std::vector<std::string>& ports, std::string* clash);

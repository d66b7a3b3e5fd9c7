// The simulator's command line: its options and their reading; device side of the serial link.
#pragma once

#include "sim/SimDevice.h"

#include <string>
#include <vector>

constexpr int SIM_MAX_DELAY_MS = 3600000;
constexpr std::size_t SIM_MAX_TEXT = 1023; // --vers-reply and --save-reply

// A destination's name at the start, set after --load as "name I TEXT" would set it.
struct SimStartName {
    int Index;
    std::string Text;
};

struct SimOptions {
    SimBehaviour Behaviour;
    std::string LinkPath;     // a symlink to the pty, made at start and removed at the end
    std::string LoadPath;     // setup file with the initial state
    std::string StateOutPath; // setup file for the current state at the end
    std::string SavedOutPath; // setup file for the state the last good "save" kept
    std::string LogPath;      // every received byte, raw
    std::vector<SimStartName> StartNames;
    bool ByteByByte = false;
    bool Help = false;
    bool Version = false;
};

// Reads argv[1] to argv[argc - 1] into `options`; on failure `error` says which argument and why.
// "--name value" and "--name=value" are both taken; a later option overrides an earlier one.
bool ParseSimOptions(int argc, const char* const* argv, SimOptions* options, std::string* error);

// The --help text.
std::string SimUsage();

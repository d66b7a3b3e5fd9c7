// How the provisioning station and its children talk: the children's command lines, the unit's
// configuration on a write child's stdin, and the lines by which each child tells its parent how far it
// got before its result line; portable. Configurations travel as "KEY=VALUE" lines in setup-file value
// syntax, read back exactly (no comment, no blanks trimmed), so that a name a setup file would cut
// arrives whole.
#pragma once

#include "core/ParamSet.h"
#include "provisioning/StationSeams.h"

#include <string>
#include <vector>

// A read child prints the device's answer to "vers" after the read.
constexpr const char* STEP_VERSION = "version: ";
// A read child that succeeded prints one line per setup key: "setup: KEY=VALUE".
constexpr const char* STEP_SETUP = "setup: ";
// A write child prints this, and sends "save" only once the line has reached its parent: a child whose
// output lacks it never sent "save", however it ended.
constexpr const char* STEP_SAVE_NEXT = "save: next";
// Every child prints one line per step of each transfer, as it goes: "progress: writing 45" (the stage,
// then the percent of its transfer).
constexpr const char* STEP_PROGRESS = "progress: ";
// The FILE of a write child that takes the unit's configuration from stdin.
constexpr const char* STDIN_FILE = "-";

struct ChildSteps {
    std::string Version;
    bool SaveNext = false;
    std::string Result; // the child's result line: "OK" or its failure's lines joined by "; "
    // The result line ended with its line end: the child's report is whole.
    bool ResultComplete = false;
    // A read's configuration, whole only when every setup key came in one valid line.
    ParamSet Device{};
    bool DeviceWhole = false;
};

// Reads what a child printed, complete or cut off where it ended.
ChildSteps ParseChildSteps(const std::string& output);

// A progress line without its line end; Reading, Writing and Verifying only.
std::string FormatProgressStep(PortStage stage, int percent);
// The last progress line among the whole lines of `output` from `*offset` on, into `progress`;
// `*offset` moves past them. False when there was none.
bool ParseProgressSteps(const std::string& output, std::size_t* offset, ChildProgress* progress);

// The read child: the device's configuration in "setup: " lines.
std::vector<std::string> StationReadArguments(const std::string& port, bool trace);
// The write child: the unit's configuration from stdin written, then read back and compared.
std::vector<std::string> StationWriteArguments(const std::string& port, bool trace);

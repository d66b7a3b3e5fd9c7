// How the provisioning station's children work for it: their command lines, and the lines by which
// each tells its parent how far it got before its result line; portable.
#pragma once

#include <string>
#include <vector>

// A read child prints the device's answer to "vers" after the read.
constexpr const char* STEP_VERSION = "version: ";
// A write child prints this, and flushes it, just before the write sends "save": a child that ends
// without it never sent "save", however it ended.
constexpr const char* STEP_SAVE_NEXT = "save: next";

struct ChildSteps {
    std::string Version;
    bool SaveNext = false;
    std::string Result; // the child's result line: "OK" or its failure's lines joined by "; "
};

// Reads what a child printed, complete or cut off where it ended.
ChildSteps ParseChildSteps(const std::string& output);

// The read child: the device's configuration into `previousFile`.
std::vector<std::string> StationReadArguments(const std::string& port, const std::string& previousFile,
                                              bool trace);
// The write child: `unitFile` written, then read back and compared.
std::vector<std::string> StationWriteArguments(const std::string& port, const std::string& unitFile,
                                               bool trace);

// zrvlink's command line: the commands, their options, the rules between them and the usage texts;
// portable.
#pragma once

#include <string>
#include <vector>

enum class CliCommand { None, Ports, Read, Write, Check, Diff };

struct CliRequest {
    CliCommand Command = CliCommand::None;
    bool Help = false;
    bool Version = false;
    std::vector<std::string> Files; // FILE, then FILE2 for diff
    std::vector<std::string> Ports; // in the order given
    bool AllPorts = false;
    bool Trace = false;
    bool Verify = false;
    bool Long = false; // ports: what identifies each port's USB device
    bool Json = false; // one JSON document on stdout instead of the text form
    // A child of a parallel run: its outcome goes to stdout as one line, its trace to stderr.
    bool ResultLine = false;
    std::string Output;
    std::string OutputDir;
    std::string Backup;
};

// Reads argv[1] to argv[argc - 1]. False on a usage error, described in `error`; `request` then still
// names the command when one was recognised, so that its usage can be shown.
bool ParseCliArgs(int argc, const char* const* argv, CliRequest* request, std::string* error);

// Several ports, --all or --output-dir: one child process per port, one result line per port.
bool IsParallel(const CliRequest& request);

// The usage text of the program (CliCommand::None) or of one command.
std::string CliUsage(CliCommand command);

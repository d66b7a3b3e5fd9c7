// Runs the real zrvlink program for a test and keeps what it printed and its exit status; test side of
// the command line, Linux only.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct CliRunOptions {
    std::vector<std::pair<std::string, std::string>> Environment; // set (or replaced) for the run
    bool StderrOnTerminal = false; // stderr on a pseudo-terminal instead of a file
    bool HugeStackLimit = false;   // a stack limit so large that no thread can be created
    bool Unprivileged = false;     // run as root: as user and group 65534, whom file modes bind
};

struct CliRunResult {
    int Exit = -1; // -1: did not end by exiting
    std::string Out;
    std::string Err;
};

// zrvlink `args` (without the program), stdin from /dev/null.
CliRunResult RunCli(const std::vector<std::string>& args, const CliRunOptions& options = {});

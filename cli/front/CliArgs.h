// zrvlink's command line: the table of its commands (the name, the options, what runs it and its usage),
// the arguments read into a request, the rules between options and the usage texts; portable.
#pragma once

#include "cli/common/CliOutcome.h"
#include "cli/common/CliRequest.h"

#include <string>

// Reads argv[1] to argv[argc - 1]. False on a usage error, described in `error`; `request` then still
// names the command when one was recognised, so that its usage can be shown.
bool ParseCliArgs(int argc, const char* const* argv, CliRequest* request, std::string* error);

// Runs the command of a request that ParseCliArgs accepted.
CliOutcome RunCliCommand(const CliRequest& request);

// The usage text of the program (CliCommand::None) or of one command.
std::string CliUsage(CliCommand command);

// The live board's address when --board is given without one.
constexpr const char* BOARD_DEFAULT_HOST = "127.0.0.1";
constexpr int BOARD_DEFAULT_PORT = 8480;
// zrvlink ledger board's, beside a station's board on the same machine.
constexpr int LINE_BOARD_DEFAULT_PORT = 8481;

// "ADDR:PORT" (an IPv6 address in brackets: "[::1]:8480") into its parts; false, with `error`, for
// anything else or a port above 65535.
bool ParseBoardAddress(const std::string& text, std::string* host, int* port, std::string* error);

// Several ports, --all or --output-dir: one child process per port, one result line per port.
bool IsParallel(const CliRequest& request);

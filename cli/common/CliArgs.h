// zrvlink's command line: the commands, their options, the rules between them and the usage texts;
// portable.
#pragma once

#include <string>
#include <vector>

enum class CliCommand { None, Ports, Read, Write, Check, Diff, Provision, Ledger };

// What `zrvlink ledger` does.
enum class LedgerAction { None, Export, Status, Board };

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
    // A child of the provisioning station: before its result line, stdout gets "version: TEXT" after a
    // read and "save: next" just before a write sends "save".
    bool ReportSteps = false;
    // provision: the template, the plan (a unit table or an address range), the record, and the
    // operator's decisions on units the record left unsettled.
    std::string Template;
    std::string Plan;
    std::string IpRange;
    std::string Record;
    // provision and ledger: the shared ledger's URL, this station's name, its local journal.
    std::string Ledger;
    std::string Station;
    std::string Journal;
    LedgerAction LedgerDoes = LedgerAction::None;
    bool Once = false;
    std::vector<std::string> Redo;
    std::vector<std::string> Skip;
    // provision --board, ledger board --listen: the live board's address; BoardPort 0 takes any free port.
    bool Board = false;
    std::string BoardGiven; // as given; empty: the default address
    std::string BoardHost;
    int BoardPort = 0;
    std::string Output;
    std::string OutputDir;
    std::string Backup;
};

// Reads argv[1] to argv[argc - 1]. False on a usage error, described in `error`; `request` then still
// names the command when one was recognised, so that its usage can be shown.
bool ParseCliArgs(int argc, const char* const* argv, CliRequest* request, std::string* error);

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

// The usage text of the program (CliCommand::None) or of one command.
std::string CliUsage(CliCommand command);

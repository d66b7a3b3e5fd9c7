// What a zrvlink command line asks for, as every command reads it (front/CliArgs.h reads it from the
// arguments); portable.
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

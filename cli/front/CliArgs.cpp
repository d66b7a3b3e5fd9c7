// zrvlink's command line: the table of its commands, the arguments read by CLI11 and the rules between
// options that it cannot express; portable. The only file that includes CLI11, which is slow to compile.
#include "cli/front/CliArgs.h"

#include "cli/common/SetupFiles.h"
#include "cli/front/CliUsage.h"
#include "cli/front/Commands.h"
#include "cli/station/LedgerCommands.h"
#include "cli/station/ProvisionCommand.h"
#include "core/TextParse.h"
#include "provisioning/ledger/Ledger.h"

#include <CLI/CLI.hpp>

#include <cstring>

namespace {

// An empty value would silently mean "not given" (detection instead of the port, stdout instead of FILE).
const CLI::Validator NOT_EMPTY([](const std::string& value) { return value.empty() ? "needs a value" : ""; },
                               "");

CLI::Option* AddValue(CLI::App* command, const char* name, std::string* value) {
    return command->add_option(name, *value)->check(NOT_EMPTY);
}

CLI::Option* AddFlag(CLI::App* command, const char* name, bool* flag) {
    return command->add_flag(name, *flag)->disable_flag_override();
}

// An option given any number of times, one value each: --port, --redo, --skip.
CLI::Option* AddList(CLI::App* command, const char* name, std::vector<std::string>* values) {
    return command->add_option(name, *values)->allow_extra_args(false)->check(NOT_EMPTY);
}

CLI::Option* AddPorts(CLI::App* command, CliRequest* r) {
    return AddList(command, "--port", &r->Ports);
}

// For the station's children only; not in the usage texts.
void AddReportSteps(CLI::App* command, CliRequest* r) {
    AddFlag(command, "--report-steps", &r->ReportSteps)->group("");
}

// An argument that is appended to `list` when given: FILE and FILE2 to the files, diff's one --port to the
// ports.
CLI::Option* AddOne(CLI::App* command, const char* name, std::vector<std::string>* list) {
    return command->add_option_function<std::string>(
        name, [list](const std::string& value) { list->push_back(value); });
}

void DescribePorts(CLI::App* ports, CliRequest* r) {
    AddFlag(ports, "--long", &r->Long);
    AddFlag(ports, "--json", &r->Json);
}

void DescribeRead(CLI::App* read, CliRequest* r) {
    CLI::Option* port = AddPorts(read, r);
    CLI::Option* all = AddFlag(read, "--all", &r->AllPorts)->excludes(port);
    CLI::Option* output = AddValue(read, "--output", &r->Output);
    CLI::Option* dir = AddValue(read, "--output-dir", &r->OutputDir)->excludes(output);
    AddFlag(read, "--trace", &r->Trace);
    AddFlag(read, "--result-line", &r->ResultLine)->excludes(dir);
    AddFlag(read, "--json", &r->Json)->excludes(output)->excludes(dir)->excludes(all);
    AddReportSteps(read, r);
}

void DescribeWrite(CLI::App* write, CliRequest* r) {
    AddOne(write, "FILE", &r->Files)->required();
    CLI::Option* port = AddPorts(write, r);
    CLI::Option* all = AddFlag(write, "--all", &r->AllPorts)->excludes(port);
    AddValue(write, "--backup", &r->Backup)->excludes(all);
    AddFlag(write, "--verify", &r->Verify);
    AddFlag(write, "--trace", &r->Trace);
    AddFlag(write, "--result-line", &r->ResultLine);
    AddReportSteps(write, r);
}

void DescribeCheck(CLI::App* check, CliRequest* r) {
    AddOne(check, "FILE", &r->Files)->required();
    AddFlag(check, "--trace", &r->Trace);
    AddFlag(check, "--json", &r->Json);
}

void DescribeDiff(CLI::App* diff, CliRequest* r) {
    AddOne(diff, "FILE", &r->Files)->required();
    CLI::Option* file2 = AddOne(diff, "FILE2", &r->Files);
    AddOne(diff, "--port", &r->Ports)->check(NOT_EMPTY)->excludes(file2);
    AddFlag(diff, "--trace", &r->Trace);
    AddFlag(diff, "--json", &r->Json);
}

void DescribeProvision(CLI::App* provision, CliRequest* r) {
    AddValue(provision, "--template", &r->Template)->required();
    CLI::Option* plan = AddValue(provision, "--plan", &r->Plan);
    AddValue(provision, "--ip-range", &r->IpRange)->excludes(plan);
    CLI::Option* record = AddValue(provision, "--record", &r->Record);
    CLI::Option* ledger = AddValue(provision, "--ledger", &r->Ledger)->excludes(record);
    AddValue(provision, "--station", &r->Station)->needs(ledger);
    AddValue(provision, "--journal", &r->Journal)->needs(ledger);
    AddPorts(provision, r);
    AddFlag(provision, "--once", &r->Once);
    AddList(provision, "--redo", &r->Redo);
    AddList(provision, "--skip", &r->Skip);
    AddFlag(provision, "--trace", &r->Trace);
    provision->add_option("--board", r->BoardGiven)->expected(0, 1);
}

// A command's own command, with --help as every command has it.
CLI::App* AddCommand(CLI::App* parent, const char* name) {
    CLI::App* command = parent->add_subcommand(name);
    command->set_help_flag("--help");
    return command;
}

void DescribeLedger(CLI::App* ledgerCommand, CliRequest* r) {
    ledgerCommand->require_subcommand(1, 1);
    CLI::App* exportCommand = AddCommand(ledgerCommand, "export");
    AddValue(exportCommand, "--ledger", &r->Ledger)->required();
    AddValue(exportCommand, "--output", &r->Output);
    exportCommand->callback([r] { r->LedgerDoes = LedgerAction::Export; });
    CLI::App* status = AddCommand(ledgerCommand, "status");
    AddValue(status, "--ledger", &r->Ledger)->required();
    AddFlag(status, "--json", &r->Json);
    status->callback([r] { r->LedgerDoes = LedgerAction::Status; });
    CLI::App* board = AddCommand(ledgerCommand, "board");
    AddValue(board, "--ledger", &r->Ledger)->required();
    AddValue(board, "--listen", &r->BoardGiven);
    board->callback([r] { r->LedgerDoes = LedgerAction::Board; });
}

// One row per command: the name that the line gives, its options, what runs it and its usage text (the
// command's own, then the notes it shares with others).
struct CommandRow {
    const char* Name;
    CliCommand Command;
    void (*DescribeOptions)(CLI::App* command, CliRequest* r);
    CliOutcome (*Run)(const CliRequest& request);
    const char* Usage[3];
};

const CommandRow COMMANDS[] = {
    {"ports", CliCommand::Ports, DescribePorts, RunPorts, {PORTS_USAGE}},
    {"read", CliCommand::Read, DescribeRead, RunRead, {READ_USAGE, SETUP_JSON_NOTES, PARALLEL_NOTES}},
    {"write", CliCommand::Write, DescribeWrite, RunWrite, {WRITE_USAGE, PARALLEL_NOTES}},
    {"check", CliCommand::Check, DescribeCheck, RunCheck, {CHECK_USAGE, SETUP_JSON_NOTES}},
    {"diff", CliCommand::Diff, DescribeDiff, RunDiff, {DIFF_USAGE}},
    {"provision", CliCommand::Provision, DescribeProvision, RunStation, {PROVISION_USAGE}},
    {"ledger", CliCommand::Ledger, DescribeLedger, RunLedger, {LEDGER_USAGE}},
};

// The row of `command`; null for CliCommand::None.
const CommandRow* RowOf(CliCommand command) {
    for (const CommandRow& row : COMMANDS) {
        if (row.Command == command) {
            return &row;
        }
    }
    return nullptr;
}

// The command that the parser will enter: the first argument that names one. The top level has flags
// only, so no earlier argument can be a value, and it enters one command at most.
CliCommand NamedCommand(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        for (const CommandRow& row : COMMANDS) {
            if (std::strcmp(argv[i], row.Name) == 0) {
                return row.Command;
            }
        }
    }
    return CliCommand::None;
}

// The program's options and the `named` command with its options, bound to the request. The parser
// cannot enter any other command, and the usage texts are our own: describing every command was most of
// the program's start-up.
void Describe(CLI::App* app, CliRequest* r, CliCommand named) {
    app->set_help_flag("--help");
    AddFlag(app, "--version", &r->Version);
    app->require_subcommand(0, 1);
    if (const CommandRow* row = RowOf(named)) {
        row->DescribeOptions(AddCommand(app, row->Name), r);
    }
}

// The `named` command when the parser entered it.
CliCommand CommandOf(const CLI::App& app, CliCommand named) {
    const CommandRow* row = RowOf(named);
    return row != nullptr && app.got_subcommand(row->Name) ? named : CliCommand::None;
}

bool Refuse(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

// The rules that hang on how many ports are given or on what their names become.
bool CheckRequest(const CliRequest& r, std::string* error) {
    std::string clash;
    const bool several = r.AllPorts || r.Ports.size() > 1;
    if (r.Command == CliCommand::None && !r.Version) {
        return Refuse(error, "no command given");
    }
    if (r.Command != CliCommand::None && r.Version) {
        return Refuse(error, "--version takes no command");
    }
    if (r.ResultLine && r.Ports.size() != 1) {
        return Refuse(error, "--result-line takes exactly one --port");
    }
    if (r.ReportSteps && !r.ResultLine) {
        return Refuse(error, "--report-steps takes --result-line");
    }
    if (r.Command == CliCommand::Provision && r.Plan.empty() == r.IpRange.empty()) {
        return Refuse(error, "provision takes --plan UNITS.csv or --ip-range FIRST-LAST");
    }
    if (r.Command == CliCommand::Provision && r.Record.empty() == r.Ledger.empty()) {
        return Refuse(error, "provision takes --record RECORD.csv or --ledger URL");
    }
    // An address that does not read would be tried for ever; it is never echoed (it may hold a password).
    std::string why;
    if (!r.Ledger.empty() && !CheckLedgerUrl(r.Ledger, &why)) {
        return Refuse(error, "--ledger: " + why);
    }
    if (r.Command == CliCommand::Write && several && !r.Backup.empty()) {
        return Refuse(error, "--backup takes a single port");
    }
    if (r.Command != CliCommand::Read) {
        return true;
    }
    // Detected ports have names of their own; ports given by hand may not.
    if (FindFileNameClash(r.Ports, &clash)) {
        return Refuse(error, "port " + clash + " would read into the file of another port");
    }
    return !several || !r.OutputDir.empty() || Refuse(error, "several ports need --output-dir DIR");
}

} // namespace

bool ParseCliArgs(int argc, const char* const* argv, CliRequest* request, std::string* error) {
    *request = CliRequest();
    CLI::App app("", "zrvlink");
    const CliCommand named = NamedCommand(argc, argv);
    Describe(&app, request, named);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        request->Command = CommandOf(app, named);
        request->Help = true;
        return true;
    } catch (const CLI::ParseError& parseError) {
        request->Command = CommandOf(app, named);
        return Refuse(error, parseError.what());
    }
    request->Command = CommandOf(app, named);
    if (request->Command == CliCommand::Provision) {
        request->Board = app.get_subcommand("provision")->count("--board") > 0;
    }
    const bool lineBoard = request->LedgerDoes == LedgerAction::Board;
    const int defaultPort = lineBoard ? LINE_BOARD_DEFAULT_PORT : BOARD_DEFAULT_PORT;
    request->Board = request->Board || lineBoard;
    if (request->Board && request->BoardGiven.empty()) {
        request->BoardHost = BOARD_DEFAULT_HOST;
        request->BoardPort = defaultPort;
    } else if (request->Board &&
               !ParseBoardAddress(request->BoardGiven, &request->BoardHost, &request->BoardPort, error)) {
        *error = (lineBoard ? "--listen " : "--board ") + request->BoardGiven + ": " + *error +
                 ", for example " + BOARD_DEFAULT_HOST + ":" + std::to_string(defaultPort);
        return false;
    }
    return CheckRequest(*request, error);
}

bool ParseBoardAddress(const std::string& text, std::string* host, int* port, std::string* error) {
    const std::size_t colon = text.rfind(':');
    int32_t number = 0;
    if (colon == std::string::npos || colon == 0 ||
        !ParseDecimal(text.c_str() + colon + 1, text.size() - colon - 1, &number) || number > 65535) {
        return Refuse(error, "give ADDR:PORT");
    }
    *host = text.substr(0, colon);
    const bool bracketed = host->size() > 2 && host->front() == '[' && host->back() == ']';
    if (bracketed) {
        *host = host->substr(1, host->size() - 2);
    }
    if (!bracketed && host->find(':') != std::string::npos) {
        return Refuse(error, "an IPv6 address goes in brackets: [::1]:8480");
    }
    *port = number;
    return true;
}

bool IsParallel(const CliRequest& request) {
    return request.AllPorts || request.Ports.size() > 1 || !request.OutputDir.empty();
}

CliOutcome RunCliCommand(const CliRequest& request) {
    const CommandRow* row = RowOf(request.Command);
    return row != nullptr ? row->Run(request) : CliOutcome{EXIT_USAGE, {}};
}

std::string CliUsage(CliCommand command) {
    const CommandRow* row = RowOf(command);
    if (row == nullptr) {
        return PROGRAM_USAGE;
    }
    std::string usage;
    for (const char* part : row->Usage) {
        usage += part != nullptr ? part : "";
    }
    return usage;
}

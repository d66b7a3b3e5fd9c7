// zrvlink's command line read by CLI11, and the rules between options that it cannot express; portable.
// The only file that includes CLI11, which is slow to compile.
#include "cli/front/CliArgs.h"

#include "cli/parallel/BatchPlan.h"
#include "core/TextParse.h"

#include <CLI/CLI.hpp>

namespace {

struct CommandRow {
    const char* Name;
    CliCommand Command;
};

const CommandRow COMMANDS[] = {
    {"ports", CliCommand::Ports}, {"read", CliCommand::Read}, {"write", CliCommand::Write},
    {"check", CliCommand::Check}, {"diff", CliCommand::Diff}, {"provision", CliCommand::Provision},
};

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

CLI::App* AddCommand(CLI::App* app, const char* name) {
    CLI::App* command = app->add_subcommand(name);
    command->set_help_flag("--help");
    return command;
}

// The commands and their options, bound to the request; `board` gets --board's value, which may be
// left out.
void Describe(CLI::App* app, CliRequest* r, std::string* board) {
    app->set_help_flag("--help");
    AddFlag(app, "--version", &r->Version);
    app->require_subcommand(0, 1);

    CLI::App* ports = AddCommand(app, "ports");
    AddFlag(ports, "--long", &r->Long);
    AddFlag(ports, "--json", &r->Json);

    CLI::App* read = AddCommand(app, "read");
    CLI::Option* port = AddPorts(read, r);
    CLI::Option* all = AddFlag(read, "--all", &r->AllPorts)->excludes(port);
    CLI::Option* output = AddValue(read, "--output", &r->Output);
    CLI::Option* dir = AddValue(read, "--output-dir", &r->OutputDir)->excludes(output);
    AddFlag(read, "--trace", &r->Trace);
    AddFlag(read, "--result-line", &r->ResultLine)->excludes(dir);
    AddFlag(read, "--json", &r->Json)->excludes(output)->excludes(dir)->excludes(all);
    AddReportSteps(read, r);

    CLI::App* write = AddCommand(app, "write");
    AddOne(write, "FILE", &r->Files)->required();
    port = AddPorts(write, r);
    all = AddFlag(write, "--all", &r->AllPorts)->excludes(port);
    AddValue(write, "--backup", &r->Backup)->excludes(all);
    AddFlag(write, "--verify", &r->Verify);
    AddFlag(write, "--trace", &r->Trace);
    AddFlag(write, "--result-line", &r->ResultLine);
    AddReportSteps(write, r);

    CLI::App* check = AddCommand(app, "check");
    AddOne(check, "FILE", &r->Files)->required();
    AddFlag(check, "--trace", &r->Trace);
    AddFlag(check, "--json", &r->Json);

    CLI::App* diff = AddCommand(app, "diff");
    AddOne(diff, "FILE", &r->Files)->required();
    CLI::Option* file2 = AddOne(diff, "FILE2", &r->Files);
    AddOne(diff, "--port", &r->Ports)->check(NOT_EMPTY)->excludes(file2);
    AddFlag(diff, "--trace", &r->Trace);
    AddFlag(diff, "--json", &r->Json);

    CLI::App* provision = AddCommand(app, "provision");
    AddValue(provision, "--template", &r->Template)->required();
    CLI::Option* plan = AddValue(provision, "--plan", &r->Plan);
    AddValue(provision, "--ip-range", &r->IpRange)->excludes(plan);
    AddValue(provision, "--record", &r->Record)->required();
    AddPorts(provision, r);
    AddFlag(provision, "--once", &r->Once);
    AddList(provision, "--redo", &r->Redo);
    AddList(provision, "--skip", &r->Skip);
    AddFlag(provision, "--trace", &r->Trace);
    provision->add_option("--board", *board)->expected(0, 1);
}

CliCommand CommandOf(const CLI::App& app) {
    for (const CommandRow& row : COMMANDS) {
        if (app.got_subcommand(row.Name)) {
            return row.Command;
        }
    }
    return CliCommand::None;
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
    std::string board;
    Describe(&app, request, &board);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        request->Command = CommandOf(app);
        request->Help = true;
        return true;
    } catch (const CLI::ParseError& parseError) {
        request->Command = CommandOf(app);
        return Refuse(error, parseError.what());
    }
    request->Command = CommandOf(app);
    request->Board = app.get_subcommand("provision")->count("--board") > 0;
    if (request->Board && board.empty()) {
        request->BoardHost = BOARD_DEFAULT_HOST;
        request->BoardPort = BOARD_DEFAULT_PORT;
    } else if (request->Board && !ParseBoardAddress(board, &request->BoardHost, &request->BoardPort, error)) {
        *error = "--board " + board + ": " + *error;
        return false;
    }
    return CheckRequest(*request, error);
}

bool ParseBoardAddress(const std::string& text, std::string* host, int* port, std::string* error) {
    const std::size_t colon = text.rfind(':');
    int32_t number = 0;
    if (colon == std::string::npos || colon == 0 ||
        !ParseDecimal(text.c_str() + colon + 1, text.size() - colon - 1, &number) || number > 65535) {
        return Refuse(error, "give ADDR:PORT, for example 127.0.0.1:8480");
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

// zrvlink's command line: parsing by one table of options, the rules between options, usage texts;
// portable.
#include "cli/CliArgs.h"

#include "cli/BatchPlan.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned Bit(CliCommand command) {
    return 1u << static_cast<unsigned>(command);
}

constexpr unsigned READ = Bit(CliCommand::Read);
constexpr unsigned WRITE = Bit(CliCommand::Write);
constexpr unsigned CHECK = Bit(CliCommand::Check);
constexpr unsigned DIFF = Bit(CliCommand::Diff);

using Apply = void (*)(CliRequest* request, const char* value);

struct OptionRow {
    const char* Name;
    bool TakesValue;
    unsigned Commands; // where the option is allowed
    Apply Run;
};

const OptionRow OPTIONS[] = {
    {"--port", true, READ | WRITE | DIFF, [](CliRequest* r, const char* v) { r->Ports.emplace_back(v); }},
    {"--all", false, READ | WRITE, [](CliRequest* r, const char*) { r->AllPorts = true; }},
    {"--output", true, READ, [](CliRequest* r, const char* v) { r->Output = v; }},
    {"--output-dir", true, READ, [](CliRequest* r, const char* v) { r->OutputDir = v; }},
    {"--backup", true, WRITE, [](CliRequest* r, const char* v) { r->Backup = v; }},
    {"--verify", false, WRITE, [](CliRequest* r, const char*) { r->Verify = true; }},
    {"--trace", false, READ | WRITE | CHECK | DIFF, [](CliRequest* r, const char*) { r->Trace = true; }},
    {"--result-line", false, READ | WRITE, [](CliRequest* r, const char*) { r->ResultLine = true; }},
};

struct CommandRow {
    const char* Name;
    CliCommand Command;
    std::size_t MinFiles;
    std::size_t MaxFiles;
};

const CommandRow COMMANDS[] = {
    {"ports", CliCommand::Ports, 0, 0}, {"read", CliCommand::Read, 0, 0}, {"write", CliCommand::Write, 1, 1},
    {"check", CliCommand::Check, 1, 1}, {"diff", CliCommand::Diff, 1, 2},
};

const CommandRow* FindCommand(CliCommand command) {
    for (const CommandRow& row : COMMANDS) {
        if (row.Command == command) {
            return &row;
        }
    }
    return nullptr;
}

const OptionRow* FindOption(const std::string& name) {
    for (const OptionRow& row : OPTIONS) {
        if (name == row.Name) {
            return &row;
        }
    }
    return nullptr;
}

bool Refuse(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

// One argument that starts with "--": the option, its value inline or in the next argument.
bool TakeOption(int argc, const char* const* argv, int* i, CliRequest* request, std::string* error) {
    const std::string arg = argv[*i];
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name == "--help") {
        request->Help = true;
        return equals == std::string::npos || Refuse(error, "--help takes no value");
    }
    const OptionRow* row = FindOption(name);
    if (row == nullptr || (row->Commands & Bit(request->Command)) == 0) {
        return Refuse(error, "unknown option '" + name + "'");
    }
    if (!row->TakesValue) {
        if (equals != std::string::npos) {
            return Refuse(error, name + " takes no value");
        }
        row->Run(request, nullptr);
        return true;
    }
    std::string value;
    if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
    } else if (*i + 1 < argc) {
        value = argv[++*i];
    }
    if (value.empty()) {
        return Refuse(error, name + " needs a value");
    }
    row->Run(request, value.c_str());
    return true;
}

bool HasDuplicate(const std::vector<std::string>& ports, std::string* duplicate) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (std::find(ports.begin() + static_cast<std::ptrdiff_t>(i) + 1, ports.end(), ports[i]) !=
            ports.end()) {
            *duplicate = ports[i];
            return true;
        }
    }
    return false;
}

bool CheckPorts(const CliRequest& r, std::string* error) {
    std::string duplicate;
    if (r.AllPorts && !r.Ports.empty()) {
        return Refuse(error, "--all and --port exclude each other");
    }
    // Two transfers on one port would garble each other.
    if (HasDuplicate(r.Ports, &duplicate)) {
        return Refuse(error, "port " + duplicate + " is given twice");
    }
    if (r.ResultLine && (r.Ports.size() != 1 || r.AllPorts || !r.OutputDir.empty())) {
        return Refuse(error, "--result-line takes exactly one --port");
    }
    return true;
}

bool CheckCombinations(const CliRequest& r, std::string* error) {
    std::string clash;
    const bool several = r.AllPorts || r.Ports.size() > 1;
    switch (r.Command) {
    case CliCommand::Read:
        if (!r.Output.empty() && !r.OutputDir.empty()) {
            return Refuse(error, "--output and --output-dir exclude each other");
        }
        // Detected ports have names of their own; ports given by hand may not.
        if (FindFileNameClash(r.Ports, &clash)) {
            return Refuse(error, "port " + clash + " would read into the file of another port");
        }
        return !several || !r.OutputDir.empty() || Refuse(error, "several ports need --output-dir DIR");
    case CliCommand::Write:
        if (!r.Backup.empty() && several) {
            return Refuse(error, "--backup takes a single port");
        }
        // The backup would replace the very file that is to be written.
        return r.Backup.empty() || r.Backup != r.Files[0] || Refuse(error, "--backup must not name FILE");
    case CliCommand::Diff:
        if (r.Ports.size() > 1) {
            return Refuse(error, "diff takes one --port");
        }
        return r.Files.size() < 2 || r.Ports.empty() ||
               Refuse(error, "diff compares FILE with FILE2 or with --port PORT, not both");
    default:
        return true;
    }
}

bool CheckRequest(const CliRequest& r, std::string* error) {
    const CommandRow& row = *FindCommand(r.Command);
    if (r.Files.size() < row.MinFiles) {
        return Refuse(error, std::string(row.Name) + " needs FILE");
    }
    if (r.Files.size() > row.MaxFiles) {
        return Refuse(error, "unexpected argument '" + r.Files[row.MaxFiles] + "'");
    }
    return CheckPorts(r, error) && CheckCombinations(r, error);
}

// The program's own options, before any command.
bool ParseProgramOption(const std::string& arg, CliRequest* request, std::string* error) {
    if (arg == "--help") {
        request->Help = true;
        return true;
    }
    if (arg == "--version") {
        request->Version = true;
        return true;
    }
    return Refuse(error, "unknown option '" + arg + "'");
}

bool ParseCommandName(const std::string& word, CliRequest* request, std::string* error) {
    for (const CommandRow& row : COMMANDS) {
        if (word == row.Name) {
            request->Command = row.Command;
            return true;
        }
    }
    return Refuse(error, "unknown command '" + word + "'");
}

} // namespace

bool ParseCliArgs(int argc, const char* const* argv, CliRequest* request, std::string* error) {
    *request = CliRequest();
    if (argc < 2) {
        return Refuse(error, "no command given");
    }
    const std::string first = argv[1];
    if (first.rfind("--", 0) == 0) {
        return ParseProgramOption(first, request, error) &&
               (argc == 2 || Refuse(error, "unexpected argument '" + std::string(argv[2]) + "'"));
    }
    if (!ParseCommandName(first, request, error)) {
        return false;
    }
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsEnded && std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (!optionsEnded && std::strncmp(arg, "--", 2) == 0) {
            if (!TakeOption(argc, argv, &i, request, error)) {
                return false;
            }
        } else if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
            return Refuse(error, "unknown option '" + std::string(arg) + "'");
        } else {
            request->Files.emplace_back(arg);
        }
    }
    return request->Help || CheckRequest(*request, error);
}

bool IsParallel(const CliRequest& request) {
    return request.AllPorts || request.Ports.size() > 1 || !request.OutputDir.empty();
}

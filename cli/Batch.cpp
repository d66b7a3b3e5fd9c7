// Parallel reads and writes, one child process per port: the transfer engine serves one transfer per
// process, and a child that fails or hangs cannot disturb the others; portable.
#include "cli/Batch.h"

#include "cli/BatchPlan.h"
#include "cli/ChildProcess.h"
#include "cli/Console.h"
#include "cli/FileOutcome.h"
#include "cli/Ports.h"
#include "core/ParamFile.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct PortRun {
    std::string Port;
    std::unique_ptr<CChildProcess> Child;
    bool Started = false;
};

std::vector<std::string> ChoosePorts(const CliRequest& request) {
    if (!request.Ports.empty()) {
        return request.Ports;
    }
    std::vector<std::string> found = DetectPortNames();
    if (!request.AllPorts && found.size() > 1) {
        found.resize(1);
    }
    return found;
}

// The child's trace, each line marked with its port; a child's CR LF becomes this stream's line end.
void ForwardTrace(const std::string& port, const std::string& text) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        const std::size_t next = newline == std::string::npos ? text.size() : newline + 1;
        std::size_t end = newline == std::string::npos ? text.size() : newline;
        end = end > start && text[end - 1] == '\r' ? end - 1 : end;
        std::fprintf(stderr, "%s: %.*s\n", port.c_str(), static_cast<int>(end - start), text.c_str() + start);
        start = next;
    }
}

// The child's exit status and its report; a child that ended without one could not do its work.
int Finish(const CliRequest& request, PortRun* run) {
    int exit = run->Started ? run->Child->Wait() : -1;
    std::string report = run->Started ? run->Child->Output() : std::string();
    if (exit < 0 || report.empty()) {
        exit = exit > 0 ? exit : EXIT_RESOURCE;
        report = ResultLineOf(Failure(exit));
    }
    if (request.Trace && run->Started) {
        ForwardTrace(run->Port, run->Child->Errors());
    }
    std::printf("%s\n", BatchResultLine(request, run->Port, report).c_str());
    std::fflush(stdout);
    return exit;
}

bool CheckPlan(const CliRequest& request, const std::vector<std::string>& ports, CliOutcome* failure) {
    if (ports.empty()) {
        *failure = Failure(EXIT_NO_DEVICE);
        return false;
    }
    // A file that does not load, or holds no setup key, is reported once, and nothing is sent anywhere.
    CParamFile file;
    return request.Command != CliCommand::Write || LoadSetupFileToSend(request.Files[0], &file, failure);
}

} // namespace

CliOutcome RunParallel(const CliRequest& request) {
    CliOutcome outcome;
    const std::vector<std::string> ports = ChoosePorts(request);
    std::string program;
    if (!CheckPlan(request, ports, &outcome)) {
        return outcome;
    }
    if (!GetProgramPath(&program)) {
        return Failure(EXIT_RESOURCE);
    }
    std::vector<PortRun> runs;
    for (const std::string& port : ports) {
        PortRun run{port, std::make_unique<CChildProcess>()};
        run.Started = run.Child->Start(program, ChildArguments(request, port));
        runs.push_back(std::move(run));
    }
    for (PortRun& run : runs) {
        const int exit = Finish(request, &run);
        if (outcome.Exit == EXIT_OK) {
            outcome.Exit = exit;
        }
    }
    return outcome;
}

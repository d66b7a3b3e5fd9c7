// Parallel reads and writes, one child process per port: the transfer engine serves one transfer per
// process, and a child that fails, hangs or crashes cannot disturb the others; portable.
#include "cli/parallel/Batch.h"

#include "cli/common/SetupFiles.h"
#include "cli/parallel/BatchPlan.h"
#include "cli/parallel/PortChild.h"
#include "cli/system/Console.h"
#include "cli/system/Ports.h"
#include "persistence/ParamFile.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ChoosePorts(const CliRequest& request) {
    if (!request.Ports.empty()) {
        return request.Ports;
    }
    // A device that detection lists under two names is still one device.
    std::vector<std::string> found = WithoutSamePorts(DetectPortNames());
    if (!request.AllPorts && found.size() > 1) {
        found.resize(1);
    }
    return found;
}

// Prints the port's line (after its trace, when asked for); false when stdout did not take it.
bool PrintPortLine(const CliRequest& request, const CPortChild& run, const std::string& report) {
    if (request.Trace && run.Started()) {
        run.ForwardTrace();
    }
    std::printf("%s\n", BatchResultLine(request, run.Port(), report).c_str());
    return FlushStdout();
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
    std::vector<std::unique_ptr<CPortChild>> runs;
    for (const std::string& port : ports) {
        runs.push_back(std::make_unique<CPortChild>(port));
        runs.back()->Start(program, ChildArguments(request, port));
    }
    // The children run at once and are watched at once; the lines keep the order of the ports, each
    // printed as soon as its port and those before it have ended.
    std::size_t reported = 0;
    bool printed = true;
    while (reported < runs.size()) {
        CWaitList waits;
        for (auto& run : runs) {
            run->HasEnded();
            run->AddTo(&waits);
        }
        for (; reported < runs.size() && runs[reported]->HasEnded(); ++reported) {
            std::string report;
            const int exit = runs[reported]->Report(&report);
            printed = PrintPortLine(request, *runs[reported], report) && printed;
            outcome.Exit = outcome.Exit == EXIT_OK ? exit : outcome.Exit;
        }
        if (reported < runs.size()) {
            waits.Wait();
        }
    }
    // Lines that were lost leave the caller without the ports' reports.
    if (!printed) {
        outcome.Lines = Failure(EXIT_FILE_SAVE).Lines;
        outcome.Exit = outcome.Exit == EXIT_OK ? EXIT_FILE_SAVE : outcome.Exit;
    }
    return outcome;
}

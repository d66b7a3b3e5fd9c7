// zrvlink: the command line for scripted and batch provisioning of ZRV-Link devices; entry point,
// portable.
#include "cli/Batch.h"
#include "cli/CliArgs.h"
#include "cli/CliOutcome.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "core/DebugPrint.h"

#include <cstdio>
#include <string>

namespace {

int UsageError(const CliRequest& request, const std::string& error) {
    std::fprintf(stderr, "zrvlink: %s\n%s", error.c_str(), CliUsage(request.Command).c_str());
    return EXIT_USAGE;
}

// A child of a parallel run answers with one line on stdout; otherwise each line goes to stderr.
void Report(const CliRequest& request, const CliOutcome& outcome) {
    if (request.ResultLine) {
        std::printf("%s\n", ResultLineOf(outcome).c_str());
        std::fflush(stdout);
        return;
    }
    for (const std::string& line : outcome.Lines) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

int Run(const CliRequest& request) {
    DebugPrintInit("zrvlink");
    if (request.Trace) {
        DebugPrintSetStream(OpenTraceStream());
    }
    const CliOutcome outcome = IsParallel(request) ? RunParallel(request) : RunCommand(request);
    DebugPrintExit();
    Report(request, outcome);
    return outcome.Exit;
}

} // namespace

int main(int argc, char** argv) {
    CliRequest request;
    std::string error;
    if (!ParseCliArgs(argc, argv, &request, &error)) {
        return UsageError(request, error);
    }
    if (request.Help) {
        std::fputs(CliUsage(request.Command).c_str(), stdout);
        return EXIT_OK;
    }
    if (request.Version) {
        std::printf("zrvlink %s\n", ZRVLINK_VERSION);
        return EXIT_OK;
    }
    return Run(request);
}

// zrvlink: the command line for scripted and batch provisioning of ZRV-Link devices; entry point,
// portable.
#include "cli/common/CliOutcome.h"
#include "cli/front/CliArgs.h"
#include "cli/system/Console.h"
#include "cli/system/FileIdentity.h"
#include "cli/system/Ports.h"
#include "core/DebugPrint.h"

#include <cstdio>
#include <string>

namespace {

int UsageError(const CliRequest& request, const std::string& error) {
    std::fprintf(stderr, "zrvlink: %s\n%s", error.c_str(), CliUsage(request.Command).c_str());
    return EXIT_USAGE;
}

// The rules that only the system can judge, before any device is touched: one device named twice would
// get two writers, and a backup into FILE would replace the file about to be written.
bool CheckNames(const CliRequest& request, std::string* error) {
    std::string first;
    std::string second;
    if (FindSamePort(request.Ports, &first, &second)) {
        *error = "ports " + first + " and " + second + " are the same device";
        return false;
    }
    if (request.Command == CliCommand::Write && !request.Backup.empty() &&
        IsSameFile(request.Files[0], request.Backup)) {
        *error = "--backup " + request.Backup + " is FILE " + request.Files[0] + " by another name";
        return false;
    }
    return true;
}

// Text for stdout that is all the command does (--help, --version).
int PrintOnly(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    if (FlushStdout()) {
        return EXIT_OK;
    }
    std::fprintf(stderr, "%s\n", ExitMessage(EXIT_FILE_SAVE));
    return EXIT_FILE_SAVE;
}

// A child of a parallel run answers with one line on stdout; otherwise each line goes to stderr.
int Report(const CliRequest& request, CliOutcome outcome) {
    if (request.ResultLine) {
        std::printf("%s\n", ResultLineOf(outcome).c_str());
        if (FlushStdout()) {
            return outcome.Exit;
        }
        outcome = Failure(EXIT_FILE_SAVE);
    }
    for (const std::string& line : outcome.Lines) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    return outcome.Exit;
}

int Run(const CliRequest& request) {
    DebugPrintInit("zrvlink");
    if (request.Trace) {
        DebugPrintSetStream(OpenTraceStream());
    }
    const CliOutcome outcome = RunCliCommand(request);
    DebugPrintExit();
    return Report(request, outcome);
}

} // namespace

int main(int argc, char** argv) {
    OpenMissingStandardStreams();
    IgnoreBrokenPipes();
    CliRequest request;
    std::string error;
    if (!ParseCliArgs(argc, argv, &request, &error) || (!request.Help && !CheckNames(request, &error))) {
        return UsageError(request, error);
    }
    if (request.Help) {
        return PrintOnly(CliUsage(request.Command));
    }
    if (request.Version) {
        return PrintOnly(std::string("zrvlink ") + ZRVLINK_VERSION + "\n");
    }
    return Run(request);
}

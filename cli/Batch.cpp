// Parallel reads and writes, one child process per port: the transfer engine serves one transfer per
// process, and a child that fails, hangs or crashes cannot disturb the others; portable.
#include "cli/Batch.h"

#include "cli/BatchPlan.h"
#include "cli/ChildProcess.h"
#include "cli/Console.h"
#include "cli/FileOutcome.h"
#include "cli/Ports.h"
#include "core/ParamFile.h"
#include "core/TextParse.h"
#include "devicelink/ParamTransfer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// The longest that a child can take while its device answers: a write with --backup and --verify is
// three transfers, and the device may use the whole reply time for every command.
constexpr long COMMANDS_PER_TRANSFER = 5 + 3 * TARGET_COUNT; // vers, baud rate, network, save, update
constexpr long LONGEST_CHILD_MS = 3 * COMMANDS_PER_TRANSFER * static_cast<long>(REPLY_TIMEOUT_MS);
// A child that still runs after this hangs: a device that works answers within milliseconds. The usage
// text names the limit.
constexpr long CHILD_TIME_LIMIT_MS = 20L * 60 * 1000;
static_assert(CHILD_TIME_LIMIT_MS > LONGEST_CHILD_MS * 3 / 2, "a slow device must never reach the limit");

// For tests: a shorter limit in milliseconds. A longer one is ignored.
const char* const TEST_LIMIT_VARIABLE = "ZRVLINK_CHILD_LIMIT_MS";

// How often the parent looks at the children that still run; nothing against a transfer of seconds.
constexpr Milliseconds WAIT_SLICE{20};

struct PortRun {
    std::string Port;
    std::unique_ptr<CChildProcess> Child;
    bool Started = false;
    bool Ended = false;
    bool OverLimit = false; // ended by the parent at the time limit
};

Milliseconds ChildTimeLimit() {
    const char* text = std::getenv(TEST_LIMIT_VARIABLE);
    int32_t shorter = 0;
    const bool valid = text != nullptr && ParseDecimal(text, std::strlen(text), &shorter) && shorter > 0;
    return Milliseconds(valid && shorter < CHILD_TIME_LIMIT_MS ? shorter : CHILD_TIME_LIMIT_MS);
}

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

// The port's exit status, and its report for the line "PORT: REPORT": the child's own, or what the
// parent saw of a child that could not give one.
int PortReport(const PortRun& run, std::string* report) {
    if (!run.Started || run.OverLimit) {
        const int exit = run.OverLimit ? EXIT_COMM : EXIT_RESOURCE;
        *report = ExitMessage(exit);
        return exit;
    }
    const ChildEnd& end = run.Child->End();
    if (!end.Exited) {
        *report = ChildFailureReport("crashed (" + end.Crash + ")", run.Child->Errors());
        return EXIT_RESOURCE;
    }
    *report = run.Child->Output();
    if (!report->empty()) {
        return end.Status;
    }
    // Without a report the status tells why, when it is one of ours.
    if (ExitMessage(end.Status)[0] != '\0') {
        *report = ExitMessage(end.Status);
        return end.Status;
    }
    *report = ChildFailureReport("ended without a report (exit " + std::to_string(end.Status) + ")",
                                 run.Child->Errors());
    return EXIT_RESOURCE;
}

// Prints the port's line (after its trace, when asked for); false when stdout did not take it.
bool PrintPortLine(const CliRequest& request, const PortRun& run, const std::string& report) {
    if (request.Trace && run.Started) {
        ForwardTrace(run.Port, run.Child->Errors());
    }
    std::printf("%s\n", BatchResultLine(request, run.Port, report).c_str());
    return FlushStdout();
}

// One look at every child that still runs: those that ended are marked, and past the deadline the
// others are ended.
void LookAtChildren(std::vector<PortRun>* runs, Clock::time_point deadline) {
    const bool late = Clock::now() >= deadline;
    for (PortRun& run : *runs) {
        if (run.Ended) {
            continue;
        }
        if (run.Child->HasEnded()) {
            run.Ended = true;
        } else if (late) {
            run.Child->Kill();
            run.Ended = run.OverLimit = true;
        }
    }
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
    // The children run at once and are watched at once; the lines keep the order of the ports, each
    // printed as soon as its port and those before it have ended.
    const Clock::time_point deadline = Clock::now() + ChildTimeLimit();
    std::size_t reported = 0;
    bool printed = true;
    while (reported < runs.size()) {
        LookAtChildren(&runs, deadline);
        for (; reported < runs.size() && runs[reported].Ended; ++reported) {
            std::string report;
            const int exit = PortReport(runs[reported], &report);
            printed = PrintPortLine(request, runs[reported], report) && printed;
            outcome.Exit = outcome.Exit == EXIT_OK ? exit : outcome.Exit;
        }
        if (reported < runs.size()) {
            std::this_thread::sleep_for(WAIT_SLICE);
        }
    }
    // Lines that were lost leave the caller without the ports' reports.
    if (!printed) {
        outcome.Lines = Failure(EXIT_FILE_SAVE).Lines;
        outcome.Exit = outcome.Exit == EXIT_OK ? EXIT_FILE_SAVE : outcome.Exit;
    }
    return outcome;
}

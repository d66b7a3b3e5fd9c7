// The station's children: command lines and step lines; portable.
#include "cli/station/StationSteps.h"

#include "core/TextParse.h"
#include "persistence/ExactSetup.h"

#include <cstring>

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::vector<std::string> ChildArguments(const char* command, const std::string& port, bool trace) {
    std::vector<std::string> args = {command, "--port", port, "--result-line", "--report-steps"};
    if (trace) {
        args.emplace_back("--trace");
    }
    return args;
}

// The stages a child at work tells of.
const PortStage STEPS[] = {PortStage::Reading, PortStage::Writing, PortStage::Verifying};

// "progress: writing 45"; false for any other line.
bool ParseProgressLine(const std::string& line, ChildProgress* progress) {
    if (!StartsWith(line, STEP_PROGRESS)) {
        return false;
    }
    const std::string rest = line.substr(std::strlen(STEP_PROGRESS));
    const std::size_t blank = rest.find(' ');
    int32_t percent = 0;
    if (blank == std::string::npos ||
        !ParseDecimal(rest.c_str() + blank + 1, rest.size() - blank - 1, &percent) || percent > 100) {
        return false;
    }
    for (const PortStage stage : STEPS) {
        if (rest.compare(0, blank, StageWord(stage)) == 0) {
            *progress = ChildProgress{stage, percent};
            return true;
        }
    }
    return false;
}

} // namespace

ChildSteps ParseChildSteps(const std::string& output) {
    ChildSteps steps;
    CExactSetup device;
    bool anySetup = false;
    ForEachLine(output, [&](const std::string& line, bool ended) {
        if (StartsWith(line, STEP_VERSION)) {
            steps.Version = line.substr(std::strlen(STEP_VERSION));
        } else if (line == STEP_SAVE_NEXT) {
            steps.SaveNext = true;
        } else if (StartsWith(line, STEP_PROGRESS)) {
            // not the result: only a step on the way
        } else if (StartsWith(line, STEP_SETUP) && ended) {
            anySetup = true;
            device.Add(line.substr(std::strlen(STEP_SETUP)));
        } else if (!line.empty()) {
            steps.Result = line;
            steps.ResultComplete = ended;
        }
    });
    steps.DeviceWhole = anySetup && device.Whole();
    if (steps.DeviceWhole) {
        steps.Device = device.Set();
    }
    return steps;
}

std::string FormatProgressStep(PortStage stage, int percent) {
    return IsAtWork(stage) ? std::string(STEP_PROGRESS) + StageWord(stage) + " " + std::to_string(percent)
                           : std::string();
}

bool ParseProgressSteps(const std::string& output, std::size_t* offset, ChildProgress* progress) {
    bool found = false;
    const std::size_t whole = output.rfind('\n');
    if (whole == std::string::npos || whole < *offset) {
        return false;
    }
    ForEachLine(output.substr(*offset, whole + 1 - *offset),
                [&](const std::string& line, bool) { found = ParseProgressLine(line, progress) || found; });
    *offset = whole + 1;
    return found;
}

std::vector<std::string> StationReadArguments(const std::string& port, bool trace) {
    return ChildArguments("read", port, trace);
}

std::vector<std::string> StationWriteArguments(const std::string& port, bool trace) {
    std::vector<std::string> args = ChildArguments("write", port, trace);
    // After "--" the name of stdin is still a file argument.
    args.insert(args.end(), {"--verify", "--", STDIN_FILE});
    return args;
}

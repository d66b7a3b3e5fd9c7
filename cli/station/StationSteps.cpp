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

std::vector<std::string> StationReadArguments(const std::string& port, bool trace) {
    return ChildArguments("read", port, trace);
}

std::vector<std::string> StationWriteArguments(const std::string& port, bool trace) {
    std::vector<std::string> args = ChildArguments("write", port, trace);
    // After "--" the name of stdin is still a file argument.
    args.insert(args.end(), {"--verify", "--", STDIN_FILE});
    return args;
}

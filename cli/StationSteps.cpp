// The station's children: command lines and step lines; portable.
#include "cli/StationSteps.h"

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
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        end = end == std::string::npos ? output.size() : end;
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (StartsWith(line, STEP_VERSION)) {
            steps.Version = line.substr(std::string(STEP_VERSION).size());
        } else if (line == STEP_SAVE_NEXT) {
            steps.SaveNext = true;
        } else if (!line.empty()) {
            steps.Result = line;
        }
        start = end + 1;
    }
    return steps;
}

std::vector<std::string> StationReadArguments(const std::string& port, const std::string& previousFile,
                                              bool trace) {
    std::vector<std::string> args = ChildArguments("read", port, trace);
    args.insert(args.end(), {"--output", previousFile});
    return args;
}

std::vector<std::string> StationWriteArguments(const std::string& port, const std::string& unitFile,
                                               bool trace) {
    std::vector<std::string> args = ChildArguments("write", port, trace);
    // After "--" a file that begins with '-' is still a file.
    args.insert(args.end(), {"--verify", "--", unitFile});
    return args;
}

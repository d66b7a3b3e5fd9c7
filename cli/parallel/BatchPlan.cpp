// A parallel run's plan and report lines; portable.
#include "cli/parallel/BatchPlan.h"

namespace {

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

// The last line that holds anything, without its line end.
std::string LastLine(const std::string& text) {
    const std::size_t end = text.find_last_not_of("\r\n");
    if (end == std::string::npos) {
        return std::string();
    }
    const std::size_t before = text.find_last_of("\r\n", end);
    const std::size_t start = before == std::string::npos ? 0 : before + 1;
    return text.substr(start, end + 1 - start);
}

} // namespace

std::vector<std::string> ChildArguments(const CliRequest& request, const std::string& port) {
    const bool read = request.Command == CliCommand::Read;
    std::vector<std::string> args = {read ? "read" : "write", "--port", port, "--result-line"};
    if (read) {
        args.insert(args.end(), {"--output", PortOutputPath(request.OutputDir, port)});
    }
    if (request.Verify) {
        args.emplace_back("--verify");
    }
    if (request.Trace) {
        args.emplace_back("--trace");
    }
    if (!read) {
        // After "--" a FILE that begins with '-' is still a file.
        args.insert(args.end(), {"--", request.Files[0]});
    }
    return args;
}

std::string BatchResultLine(const CliRequest& request, const std::string& port,
                            const std::string& childOutput) {
    const std::string report = FirstLine(childOutput);
    const bool madeFile = request.Command == CliCommand::Read && report == "OK";
    return port + ": " + report + (madeFile ? " " + PortOutputPath(request.OutputDir, port) : "");
}

std::string ChildFailureReport(const std::string& what, const std::string& errors) {
    const std::string last = LastLine(errors);
    return "WARNING: " + what + (last.empty() ? "" : ": " + last);
}

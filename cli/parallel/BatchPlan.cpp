// A parallel run's plan and report lines; portable.
#include "cli/parallel/BatchPlan.h"

#include "core/TextParse.h"

#include <algorithm>

namespace {

const std::string DEV_PREFIX = "/dev/";

bool IsNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '.' || c == '_' || c == '-';
}

bool IsDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// Names that Windows takes for devices whatever their extension: COM7.dat would open the port itself.
bool IsDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    for (char& c : stem) {
        c = UpperAscii(c);
    }
    const std::string prefix = stem.substr(0, 3);
    return stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" ||
           ((prefix == "COM" || prefix == "LPT") && IsDigits(stem.substr(3)));
}

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

std::string PortFileName(const std::string& port) {
    std::string name = port.rfind(DEV_PREFIX, 0) == 0 ? port.substr(DEV_PREFIX.size()) : port;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !IsNameCharacter(c); }, '-');
    // No hidden file and nothing that reads as an option.
    name.erase(0, name.find_first_not_of(".-"));
    if (name.empty() || IsDeviceName(name)) {
        name.insert(0, name.empty() ? "port" : "port-");
    }
    return name + ".dat";
}

std::string PortOutputPath(const std::string& outputDir, const std::string& port) {
    const bool separated = !outputDir.empty() && (outputDir.back() == '/' || outputDir.back() == '\\');
    return outputDir + (separated ? "" : "/") + PortFileName(port);
}

bool FindFileNameClash(const std::vector<std::string>& ports, std::string* clash) {
    std::vector<std::string> names;
    for (const std::string& port : ports) {
        const std::string name = PortFileName(port);
        if (std::find(names.begin(), names.end(), name) != names.end()) {
            *clash = port;
            return true;
        }
        names.push_back(name);
    }
    return false;
}

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

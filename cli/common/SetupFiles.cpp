// Loading and saving zrvlink's setup files, with failure lines that say which file and why, and the names
// of the files that a read on several ports writes; portable.
#include "cli/common/SetupFiles.h"

#include "core/ParamKeys.h"
#include "core/TextParse.h"
#include "persistence/SetupLines.h"
#include "platform/SystemError.h"

#include <algorithm>

namespace {

const CliOutcome SUCCESS{};

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

// The failure `exit` with the path and the system's words for `systemError` after its message.
CliOutcome FileFailure(int exit, const std::string& path, int32_t systemError) {
    CliOutcome outcome = Failure(exit);
    if (systemError != 0) {
        char reason[256];
        outcome.Lines.front() += ": " + path + ": " + SystemErrorText(systemError, reason, sizeof reason);
    }
    return outcome;
}

} // namespace

bool LoadSetupFile(const std::string& path, CParamFile* file, CliOutcome* failure) {
    if (file->Load(path.c_str())) {
        return true;
    }
    *failure = FileFailure(ExitOfLoad(file->FileError), path, file->SystemError);
    return false;
}

bool LoadSetupFileToSend(const std::string& path, CParamFile* file, CliOutcome* failure) {
    if (!LoadSetupFile(path, file, failure)) {
        return false;
    }
    if (file->KeysLoaded == 0) {
        *failure = Failure(EXIT_FILE_CONTENT);
        failure->Lines.front() += ": no setup key found in " + path;
        return false;
    }
    return true;
}

CliOutcome SaveSetupFile(const std::string& path, CParamFile* file) {
    const CliOutcome carried = SetupFileCarries(*file->GetParam());
    if (carried.Exit != EXIT_OK) {
        return carried;
    }
    return file->Save(path.c_str()) ? SUCCESS : FileFailure(EXIT_FILE_SAVE, path, file->SystemError);
}

CliOutcome SetupFileCarries(const ParamSet& set) {
    const int line = FindUncarriedSetupLine(set);
    if (line < 0) {
        return SUCCESS;
    }
    // The file's lines: the key table's rows, then the destinations.
    const bool target = line >= PARAM_KEY_COUNT;
    const std::string key =
        target ? "Target" + std::to_string(line - PARAM_KEY_COUNT) : PARAM_KEYS[line].Name;
    CliOutcome outcome = Failure(EXIT_FILE_SAVE);
    outcome.Lines.front() += ": " + key + (target ? " holds a name" : " holds a value") +
                             " that a setup file cannot carry exactly (\";\" or a blank at its end" +
                             (target ? "" : " or start") +
                             "); nothing was saved (read --json shows it whole)";
    return outcome;
}

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

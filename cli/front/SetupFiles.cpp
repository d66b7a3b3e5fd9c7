// Loading and saving zrvlink's setup files, with failure lines that say which file and why; portable.
#include "cli/front/SetupFiles.h"

#include "core/ParamKeys.h"
#include "persistence/SetupLines.h"
#include "platform/SystemError.h"

namespace {

const CliOutcome SUCCESS{};

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

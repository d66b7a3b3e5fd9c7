// Loading and saving zrvlink's setup files, with failure lines that say which file and why; portable.
#include "cli/FileOutcome.h"

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
    return file->Save(path.c_str()) ? SUCCESS : FileFailure(EXIT_FILE_SAVE, path, file->SystemError);
}

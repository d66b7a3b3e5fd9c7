// Exit statuses of zrvlink and their messages, which are the setup program's, typos included; portable.
#include "cli/common/CliOutcome.h"

#include "cli/system/PortErrorHints.h"
#include "devicelink/ParamTransfer.h"
#include "persistence/ParamFile.h"
#include "platform/SystemError.h"

#include <cstdio>

namespace {

struct ExitRow {
    int Exit;
    const char* Message;
};

const ExitRow EXIT_MESSAGES[] = {
    {EXIT_NO_DEVICE, "WARNING: communication error"}, {EXIT_COMM, "WARNING: communication error"},
    {EXIT_HARDWARE, "WARNING: hardware error"},       {EXIT_RESOURCE, "WARNING: not enoungh resouce"},
    {EXIT_VERIFY, "WARNING: verify error"},           {EXIT_FILE_LOAD, "WARNING: file load error"},
    {EXIT_FILE_SAVE, "WARNING: file save error"},     {EXIT_FILE_CONTENT, "WARNING: parameter error"},
};

} // namespace

const char* ExitMessage(int exit) {
    for (const ExitRow& row : EXIT_MESSAGES) {
        if (row.Exit == exit) {
            return row.Message;
        }
    }
    return "";
}

CliOutcome Failure(int exit) {
    return CliOutcome{exit, {ExitMessage(exit)}};
}

std::string PortOpenReason(int32_t systemError) {
    if (systemError == 0) {
        return "";
    }
    for (const PortErrorHint* hint = PORT_ERROR_HINTS; hint->Code != 0; ++hint) {
        if (hint->Code == systemError) {
            return hint->Text;
        }
    }
    char text[256];
    return SystemErrorText(systemError, text, sizeof text);
}

CliOutcome PortFailure(const std::string& port, int32_t systemError) {
    const std::string reason = PortOpenReason(systemError);
    return CliOutcome{EXIT_PORT, {"WARNING: cannot open " + port + (reason.empty() ? "" : ": " + reason)}};
}

int ExitOfTransfer(int32_t result) {
    switch (result) {
    case PT_OK:
        return EXIT_OK;
    case PT_ERR_PORT:
        return EXIT_PORT;
    case PT_ERR_HARDWARE:
        return EXIT_HARDWARE;
    case PT_ERR_RESOURCE:
        return EXIT_RESOURCE;
    default:
        return EXIT_COMM;
    }
}

int ExitOfLoad(int32_t fileError) {
    return fileError == FILE_ERROR_CONTENT ? EXIT_FILE_CONTENT : EXIT_FILE_LOAD;
}

bool FlushStdout() {
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

std::string ResultLineOf(const CliOutcome& outcome) {
    if (outcome.Exit == EXIT_OK) {
        return "OK";
    }
    std::string line;
    for (const std::string& part : outcome.Lines) {
        line += (line.empty() ? "" : "; ") + part;
    }
    return line;
}

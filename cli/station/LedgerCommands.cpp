// zrvlink ledger export, status and board; portable (the ledger and the HTTP server through their
// seams).
#include "cli/station/LedgerCommands.h"

#include "cli/board/BoardJson.h"
#include "cli/board/BoardPage.h"
#include "cli/board/BoardServer.h"
#include "cli/common/JsonText.h"
#include "cli/system/Console.h"
#include "cli/system/Interrupt.h"
#include "core/Counted.h"
#include "persistence/SetupFileIO.h"
#include "platform/Clock.h"
#include "provisioning/ledger/Ledger.h"

#include <cstdio>

namespace {

constexpr int64_t LOOK_MS = 1000; // a look at the ledger a second

CliOutcome Refused(const std::string& why) {
    return CliOutcome{EXIT_REFUSED, {"zrvlink ledger: " + why}};
}

CliOutcome Print(const std::string& text) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return FlushStdout() && written ? CliOutcome{} : Failure(EXIT_FILE_SAVE);
}

// The whole text in place of `path`, the old file kept until the new one is on disk.
CliOutcome Save(const std::string& path, const std::string& text) {
    CReplacingFile file;
    if (file.Create(path.c_str()) && file.Write(text.data(), text.size()) && file.Finish() &&
        file.Replace()) {
        return CliOutcome{};
    }
    CliOutcome failure = Failure(EXIT_FILE_SAVE);
    failure.Lines.front() += ": " + path;
    return failure;
}

CliOutcome Export(const CliRequest& request) {
    std::vector<RecordRow> rows;
    std::string error;
    if (!ReadLedgerRows(request.Ledger, &rows, &error)) {
        return Refused(error);
    }
    const std::string text = FormatRecordText(rows, true);
    if (!request.Output.empty()) {
        return Save(request.Output, text);
    }
    // The rows carry their own CR LF: Windows' console text would add a CR before each LF.
    UseBinaryStdout();
    return Print(text);
}

// "line-1 on pc-7: not seen since ... (cut off from the ledger, or hung); it may still be writing until
// ..., and its units' --redo and --skip wait until then"
std::string StationLine(const LedgerStationInfo& station) {
    const std::string name = station.Name + (station.Host.empty() ? "" : " on " + station.Host) + ": ";
    switch (station.State) {
    case LedgerStationState::Running:
        return name + "running, last seen " + station.LastSeen;
    case LedgerStationState::NotSeen:
        return name + "not seen since " + station.LastSeen +
               " (cut off from the ledger, or hung); it may still be writing until " + station.MayWriteUntil +
               ", and --redo or --skip of a unit it was writing is refused until then";
    default:
        return name + "stopped, last seen " + station.LastSeen;
    }
}

std::string StatusText(const std::string& url, const LedgerStatus& status) {
    std::size_t units = 0;
    for (const auto& state : status.States) {
        units += static_cast<std::size_t>(state.second);
    }
    std::string text = "ledger " + RedactedLedgerUrl(url) + ": " + Counted(units, "unit") + "\n";
    for (const auto& [state, count] : status.States) {
        text += "  " + state + ": " + std::to_string(count) + "\n";
    }
    text += "stations:\n";
    for (const LedgerStationInfo& station : status.Stations) {
        text += "  " + StationLine(station) + "\n";
    }
    return text;
}

CliOutcome Status(const CliRequest& request) {
    LedgerStatus status;
    std::string error;
    if (!ReadLedgerStatus(request.Ledger, &status, &error)) {
        return Refused(error);
    }
    return Print(request.Json ? LedgerStatusJson(status) : StatusText(request.Ledger, status));
}

// The line's board until Ctrl-C.
CliOutcome Board(const CliRequest& request) {
    CBoardServer server(BOARD_PAGE, BOARD_PAGE_SIZE);
    std::string error;
    if (!server.Bind(request.BoardHost, request.BoardPort, &error)) {
        return CliOutcome{EXIT_USAGE, {"zrvlink ledger board: --listen: " + error}};
    }
    const bool ipv6 = request.BoardHost.find(':') != std::string::npos;
    const std::string address = "http://" + (ipv6 ? "[" + request.BoardHost + "]" : request.BoardHost) + ":" +
                                std::to_string(server.Port()) + "/";
    LedgerLine last;
    bool reachable = false;
    std::string why;
    // The zone in which an event of an earlier zrvlink's station, which gives its time of day alone, is
    // read.
    LocalTime ignored{};
    int32_t utcOffset = 0;
    const auto look = [&] {
        LedgerLine line;
        why.clear();
        reachable = ReadLedgerLine(request.Ledger, &line, &why);
        if (reachable) {
            last = line;
        }
        ReadLocalTimeAndOffset(&ignored, &utcOffset);
        server.Publish(LineBoardJson(last, reachable, why, true, utcOffset));
    };
    look();
    if (!server.Start(&error)) {
        return CliOutcome{EXIT_RESOURCE, {"zrvlink ledger board: " + error}};
    }
    std::printf("line board: %s (for scripts: %sstatus.json); Ctrl-C ends it\n", address.c_str(),
                address.c_str());
    const bool printed = FlushStdout();
    while (SleepUnlessInterrupted(LOOK_MS)) {
        look();
    }
    server.Publish(LineBoardJson(last, reachable, why, false, utcOffset));
    server.Close();
    return printed ? CliOutcome{} : Failure(EXIT_FILE_SAVE);
}

} // namespace

CliOutcome RunLedger(const CliRequest& request) {
    CatchInterrupts();
    SetLedgerInterrupts(InterruptCount);
    switch (request.LedgerDoes) {
    case LedgerAction::Export:
        return Export(request);
    case LedgerAction::Board:
        return Board(request);
    default:
        return Status(request);
    }
}

// The Win32 backends under Wine. Persistence: saves whose replacing step fails in each way Windows knows,
// none of which may lose the configuration (reading with writers denied and a read-only target are shown
// through the setup program's file dialogs). The trace log's viewer delivery: real windows of the viewer
// classes receive WM_COPYDATA as the viewers expect it (the catchers take nothing else: the tag, no
// sender, a NUL after the line), and a stream the same line. The record's file: a ledger's journal that
// only its user may open.
#include "SetupDriver.h"
#include "core/DebugPrint.h"
#include "persistence/ParamFile.h"
#include "persistence/SetupFileIO.h"
#include "platform/HandleOwner.h"
#include "provisioning/Record.h"
#include "provisioning/RecordLog.h"

#include "TestFiles.h"

#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

// What the replacing step answers, attempt by attempt (past the end, the last answer again; 0 lets the
// attempt reach the system), and what the move that follows it answers.
std::vector<int32_t> ReplaceAnswers;
std::size_t ReplaceAttempts;
int32_t MoveAnswer;
unsigned PausedMs;

int32_t ScriptedFault(FileStep step) {
    if (step != FILE_STEP_REPLACE) {
        return step == FILE_STEP_MOVE ? MoveAnswer : 0;
    }
    return ReplaceAnswers[std::min(ReplaceAttempts++, ReplaceAnswers.size() - 1)];
}

enum Ending { NEW_IN_PLACE, OLD_IN_PLACE, NEW_KEPT_BESIDE };

constexpr int32_t UNABLE_TO_MOVE = ERROR_UNABLE_TO_MOVE_REPLACEMENT;
constexpr int32_t UNABLE_TO_MOVE_2 = ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
constexpr int32_t BUSY = ERROR_SHARING_VIOLATION;
constexpr int32_t REFUSED = ERROR_WRITE_PROTECT;
constexpr int32_t LOCKED = ERROR_LOCK_VIOLATION;
constexpr int32_t DENIED = ERROR_ACCESS_DENIED;

TEST(SetupFileWin32, NoFailureOfTheReplacingStepLosesTheConfiguration) {
    const struct {
        const char* Name;
        std::vector<int32_t> Replace;
        int32_t Move;
        Ending Expected;
        bool Paused;
    } cases[] = {
        {"target moved aside, new file moved in", {UNABLE_TO_MOVE}, 0, NEW_IN_PLACE, false},
        {"target moved aside, new file not movable", {UNABLE_TO_MOVE}, REFUSED, NEW_KEPT_BESIDE, false},
        {"target renamed, new file moved in", {UNABLE_TO_MOVE_2}, 0, NEW_IN_PLACE, false},
        {"target renamed, new file not movable", {UNABLE_TO_MOVE_2}, REFUSED, NEW_KEPT_BESIDE, false},
        {"held for a moment by a scanner", {BUSY, BUSY, LOCKED, DENIED, 0}, 0, NEW_IN_PLACE, true},
        {"held for good", {BUSY}, 0, OLD_IN_PLACE, true},
        {"held, moved aside, new file not movable", {BUSY, UNABLE_TO_MOVE}, REFUSED, NEW_KEPT_BESIDE, true},
    };
    const std::string previous = "BaudRate=1200\r\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        CScratchDir dir;
        const std::string path = dir.Write("a.dat", previous);
        CParamFile file;
        file.GetParam()->BaudRate = 9600;
        bool saved = false;
        ReplaceAnswers = c.Replace;
        ReplaceAttempts = 0;
        MoveAnswer = c.Move;
        PausedMs = 0;
        SetFileFaultHook(ScriptedFault);
        SetFilePauseHook([](unsigned milliseconds) { PausedMs += milliseconds; }); // pauses that take no time
        const std::string trace = CaptureTrace("", [&] { saved = file.Save(path.c_str()); });
        SetFileFaultHook(nullptr);
        SetFilePauseHook(nullptr);
        EXPECT_EQ(c.Expected == NEW_IN_PLACE, saved);
        EXPECT_EQ(c.Expected == NEW_IN_PLACE, ReadWholeFile(path).find("BaudRate=9600\r\n") == 0);
        if (c.Expected == OLD_IN_PLACE) {
            EXPECT_EQ(previous, ReadWholeFile(path));
        }
        // The file that a trace line names as holding the new content.
        std::smatch match;
        std::regex_search(trace, match, std::regex("the new content is kept in ([^\n]*)"));
        const std::string kept = match.str(1);
        std::set<std::string> names{"a.dat"};
        if (c.Expected == NEW_KEPT_BESIDE) {
            ASSERT_FALSE(kept.empty()) << trace;
            EXPECT_EQ(0u, ReadWholeFile(kept).find("BaudRate=9600\r\n")) << kept;
            names.insert(std::filesystem::path(kept).filename().string());
        } else {
            EXPECT_EQ("", kept);
        }
        EXPECT_EQ(names, dir.Names()) << trace;
        // Only a held file is waited for; held for good, it is given up after about a second.
        EXPECT_EQ(c.Paused, PausedMs > 0) << PausedMs;
        EXPECT_LE(PausedMs, 2000u);
        if (c.Paused && c.Expected == OLD_IN_PLACE) {
            EXPECT_GE(PausedMs, 500u);
        }
    }
}

// A program that holds the target open, as a virus scanner does, until the save has paused twice: the
// system's own answer to the replacing step is taken for "held", and waited for. Held for good, the
// scripted case above gives up. The save names its file relatively, which Wine's ReplaceFileW refuses
// (error 267, measured with Wine 8).
CWinHandle Holder;
unsigned Pauses;

TEST(SetupFileWin32, SaveByARelativeNameWaitsForAProgramThatHoldsTheTargetForAMoment) {
    CScratchDir dir;
    const std::string path = dir.Write("a.dat", "BaudRate=1200\r\n");
    // Sharing reading and writing, not deletion: the target cannot be replaced while this is open.
    Holder.Reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(Holder.IsOpen());
    Pauses = 0;
    SetFilePauseHook([](unsigned) {
        if (++Pauses == 2) {
            Holder.Close();
        }
    });
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    CParamFile file;
    file.GetParam()->BaudRate = 9600;
    EXPECT_TRUE(file.Save("a.dat")) << "error " << file.SystemError;
    std::filesystem::current_path(before);
    SetFilePauseHook(nullptr);
    Holder.Close();
    EXPECT_EQ(2u, Pauses);
    EXPECT_EQ(0u, ReadWholeFile(path).find("BaudRate=9600\r\n"));
    EXPECT_EQ(std::set<std::string>{"a.dat"}, dir.Names());
}

const char* const TRACEWIN = "TraceWin TRACE Window";
const char* const MFX = "MfxTraceWindow";

// The first running viewer in the order of the classes gets the line; a stream gets the same line,
// whether a viewer runs or not.
TEST(TraceViewer, FirstViewerClassFoundAndTheStreamReceiveTheLine) {
    // The viewers running, and the one that gets the line (null: none).
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{TRACEWIN, MFX}, TRACEWIN}, {{MFX, TRACEWIN}, TRACEWIN}, {{MFX}, MFX}, {{}, nullptr}};
    for (const auto& [running, receiver] : cases) {
        SCOPED_TRACE(receiver != nullptr ? receiver : "no viewer");
        std::vector<std::unique_ptr<CCopyDataCatcher>> viewers;
        for (const char* className : running) {
            viewers.push_back(std::make_unique<CCopyDataCatcher>(className, 0x6E697774, true));
            ASSERT_TRUE(viewers.back()->Running()) << className;
        }
        const std::string line =
            CaptureTrace("ZRVLinkSetup", [] { DebugPrint("WARNING: cannot open COM%d\n", 3); });
        ASSERT_NE(std::string::npos, line.find("  WARNING: cannot open COM3\n")) << line;
        for (std::size_t i = 0; i < viewers.size(); ++i) {
            EXPECT_EQ(running[i] == receiver ? line : "", viewers[i]->Lines()) << running[i];
        }
    }
}

// How many allowed entries of `path`'s access list name another than this process's user and the system
// itself (which, as root on POSIX, opens every file); -1 when it cannot be read. A null list lets everyone
// in.
int OthersAllowed(const std::string& path) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return -1;
    }
    const CWinHandle owned(token);
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    BYTE system[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof system;
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size) ||
        !GetTokenInformation(token, TokenUser, user, sizeof user, &size) ||
        GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
        return -1;
    }
    const std::unique_ptr<void, HLOCAL(WINAPI*)(HLOCAL)> freed(descriptor, LocalFree);
    const PSID me = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
    int others = acl == nullptr ? 1 : 0;
    for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (GetAce(acl, i, &ace) && static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            const PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
            others += EqualSid(sid, me) || EqualSid(sid, system) ? 0 : 1;
        }
    }
    return others;
}

// A ledger's journal is its user's alone, as mode 0600 makes it on POSIX: a new one and one that an
// earlier version made with the folder's entries alike; a station's record takes what the folder gives.
TEST(RecordFileWin32, AJournalLetsOnlyItsUserInAndARecordWhatTheFolderGives) {
    const CScratchDir dir;
    dir.Write("old.csv", RecordHeaderText());
    const struct {
        const char* Name;
        RecordFileReaders Readers;
        bool Alone;
    } cases[] = {
        {"record.csv", RecordFileReaders::Everyone, false},
        {"journal.csv", RecordFileReaders::OwnerOnly, true},
        {"old.csv", RecordFileReaders::OwnerOnly, true},
    };
    for (const auto& c : cases) {
        {
            CRecordLog log;
            std::string error;
            ASSERT_TRUE(log.Open(dir / c.Name, &error, RecordLogForm{"", c.Readers})) << error;
        }
        const int others = OthersAllowed(dir / c.Name);
        ASSERT_GE(others, 0) << c.Name << ": error " << GetLastError();
        EXPECT_EQ(c.Alone, others == 0) << c.Name << ": " << others << " others allowed";
        // Its user opens it again, as the next run of the station does.
        CRecordLog again;
        std::string error;
        EXPECT_TRUE(again.Open(dir / c.Name, &error, RecordLogForm{"", c.Readers}))
            << c.Name << ": " << error;
    }
}

} // namespace

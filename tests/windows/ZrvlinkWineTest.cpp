// zrvlink.exe and the Win32 portkit under Wine, found through the registry as the setup program finds
// its device: run by run-detect.sh with the simulator's pty mapped as COM<ZRV_COM_PORT>, one that takes
// no data as COM<ZRV_STALLED_PORT> and a device whose read takes about 40 s as COM<ZRV_LONG_PORT>.
#include "cli/common/SetupText.h"
#include "cli/system/ChildProcess.h"
#include "persistence/ParamFile.h"
#include "portkit/PortKit.h"
#include "provisioning/Record.h"

#include "TestFiles.h"

#include "platform/HandleOwner.h"
#include "platform/SystemError.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <tlhelp32.h>

namespace {

struct ExeRun {
    int Exit;
    std::string Out;
    std::string Err;
};

// The program's Linux path as Wine sees it, on drive Z:.
std::string ProgramPath() {
    std::string path = std::string("Z:") + ZRVLINK_EXE;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

ExeRun Zrvlink(const std::vector<std::string>& args) {
    CChildProcess child;
    if (!child.Start(ProgramPath(), args)) {
        ADD_FAILURE() << "cannot start " << ProgramPath() << ": error " << GetLastError();
        return ExeRun{-1, "", ""};
    }
    return ExeRun{child.Wait(), child.Output(), child.Errors()}; // in this order
}

// Console text gets CR LF from the C runtime; setup-file text has its own.
std::string WithoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// The ports of run-detect.sh, as COM names.
const std::string MAPPED_PORT = "COM" + EnvironmentText("ZRV_COM_PORT");
const std::string LONG_PORT = "COM" + EnvironmentText("ZRV_LONG_PORT");

// Generous bound for "it happened at all".
constexpr DWORD EVENTUALLY_MS = 60000;
// A child bound to its parent ends within moments of it; on its own it would read the long device for
// about 40 s.
constexpr DWORD BEFORE_THE_LONG_READ_ENDS_MS = 20000;

// The first zrvlink.exe whose parent is `parent` and that has at least `threads` threads, opened to end it
// and to wait for it; null when none came within EVENTUALLY_MS. Wine may give a console program helpers of
// its own.
HANDLE WaitForChild(DWORD parent, DWORD threads = 1) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < EVENTUALLY_MS; Sleep(20)) {
        const CWinHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot.Get(), &entry); more;
             more = Process32Next(snapshot.Get(), &entry)) {
            if (entry.th32ParentProcessID == parent && entry.cntThreads >= threads &&
                _stricmp(entry.szExeFile, "zrvlink.exe") == 0) {
                return OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                   entry.th32ProcessID);
            }
        }
    }
    return nullptr;
}

// Only the device's present port is listed (not the unplugged instance's COM5), with the serial number
// that ends its instance ID, and a read without a port reads it.
TEST(PortMapped, DetectionListsOnlyThePresentPortAndReadWithoutPortUsesIt) {
    const ExeRun longPorts = Zrvlink({"ports", "--long", "--json"});
    EXPECT_EQ(0, longPorts.Exit);
    EXPECT_EQ("", longPorts.Err);
    const nlohmann::json listed = nlohmann::json::parse(longPorts.Out, nullptr, false);
    ASSERT_TRUE(listed.is_array() && listed.size() == 1) << longPorts.Out;
    EXPECT_EQ(MAPPED_PORT, listed[0].value("Port", ""));
    EXPECT_EQ(EnvironmentText("ZRV_SERIAL"), listed[0].value("Serial", ""));
    const ExeRun run = Zrvlink({"read"});
    EXPECT_EQ(0, run.Exit) << run.Err;
    CParamFile fresh; // the simulator starts with the record's defaults
    std::string expected;
    ASSERT_TRUE(FormatSetupText(*fresh.GetParam(), &expected));
    EXPECT_EQ(expected, run.Out) << "36 lines with CR LF, exactly as Save writes them";
    EXPECT_EQ("", run.Err);
}

// Each port reports in order: the port's own trace line names the call, the device and the system's
// code, and a hung port is ended at the limit while the others report.
TEST(PortMapped, ParallelReadsReportEachPortInOrderAndAHungOneAtTheLimit) {
    // Not COM7.dat: Windows would open the port itself under that name.
    const std::string file = "port-" + MAPPED_PORT + ".dat";
    SetEnvironmentVariableA("ZRVLINK_CHILD_LIMIT_MS", "10000");
    const ExeRun run = Zrvlink({"read", "--port", MAPPED_PORT, "--port", "COM29", "--port", LONG_PORT,
                                "--output-dir", ".", "--trace"});
    SetEnvironmentVariableA("ZRVLINK_CHILD_LIMIT_MS", nullptr);
    EXPECT_EQ(11, run.Exit) << run.Err;
    EXPECT_NE(std::string::npos,
              WithoutCarriageReturns(run.Err).find("WARNING: cannot open \"\\\\.\\COM29\": error 2\n"))
        << run.Err;
    char notFound[256]; // Wine's words differ from Windows'
    SystemErrorText(ERROR_FILE_NOT_FOUND, notFound, sizeof notFound);
    EXPECT_EQ(MAPPED_PORT + ": OK ./" + file + "\nCOM29: WARNING: cannot open COM29: " + notFound + "\n" +
                  LONG_PORT + ": WARNING: communication error\n",
              WithoutCarriageReturns(run.Out));
    std::remove(file.c_str());
}

// The Win32 portkit on a device whose firmware stopped taking data, where the setup program and zrvlink.exe
// do not take it: the line fills, and a write must then fail within its limit instead of holding the
// worker (and the Stop behind it) for ever; a write that waited for ever would leave this program to
// ctest's time limit.
TEST(PortMapped, StalledPortFailsTheWriteInsteadOfWaitingForEver) {
    const std::string port = EnvironmentText("ZRV_STALLED_PORT");
    int accepted = 0; // blocks accepted before the first refusal
    const std::string trace = CaptureTrace("t", [&] {
        const int32_t handle = CreateCommPort(std::atoi(port.c_str()), 9600, 8, COMM_PARITY_NONE, 1, 0, 0, 0);
        ASSERT_GE(handle, 0);
        const std::string block(4096, 'x');
        while (accepted < 1024 &&
               WriteCommBlock(handle, block.data(), static_cast<int32_t>(block.size())) != 0) {
            ++accepted;
        }
        EXPECT_EQ(0, DestroyCommPort(handle));
    });
    EXPECT_LT(accepted, 1024);
    const std::string timedOut = "WARNING: cannot write \"\\\\.\\COM" + port + "\": error 1460\n";
    EXPECT_NE(std::string::npos, trace.find(timedOut)) << trace;
}

// The exit code that Windows gives a process ended by an access violation.
constexpr UINT ACCESS_VIOLATION = 0xC0000005;

// zrvlink.exe reads the long device through one child process: a parent that is killed leaves no child
// running, and a child that crashes is reported with its exception code. The parent is killed first: a
// read that follows a crashed one may fail of itself within moments, which would pass for a child ended
// with its parent.
TEST(PortMapped, KilledParentLeavesNoChildRunningAndCrashedChildIsReported) {
    for (const bool killParent : {true, false}) {
        CChildProcess zrvlink;
        ASSERT_TRUE(zrvlink.Start(ProgramPath(), {"read", "--port", LONG_PORT, "--output-dir", "."}));
        const CWinHandle parent(WaitForChild(GetCurrentProcessId()));
        // Once it runs more than its first thread: a child ended before its parent let it run was never
        // started, and is no crash.
        const CWinHandle child(parent.IsOpen() ? WaitForChild(GetProcessId(parent.Get()), 2) : nullptr);
        ASSERT_TRUE(child.IsOpen()) << killParent;
        TerminateProcess(killParent ? parent.Get() : child.Get(), killParent ? 1 : ACCESS_VIOLATION);
        EXPECT_EQ(killParent ? 1 : 14, zrvlink.Wait());
        if (killParent) {
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.Get(), BEFORE_THE_LONG_READ_ENDS_MS))
                << "the port's process still runs";
        } else {
            EXPECT_EQ(LONG_PORT + ": WARNING: crashed (exception 0xC0000005)\n",
                      WithoutCarriageReturns(zrvlink.Output()));
        }
    }
}

// Last of the mapped cases: it leaves the device with a configuration of its own. The port given is
// watched through the system's serial-port list; its serial number comes from detection.
TEST(PortMapped, StationWritesTheDeviceAndRecordsItsSerialNumber) {
    CParamFile base;
    base.GetParam()->SubnetMask = 0xFFFFFF00;
    ASSERT_TRUE(base.Save("wine-base.dat"));
    std::remove("wine-record.csv");
    const ExeRun run =
        Zrvlink({"provision", "--template", "wine-base.dat", "--ip-range", "192.168.7.21-192.168.7.22",
                 "--record", "wine-record.csv", "--port", MAPPED_PORT, "--once"});
    EXPECT_EQ(30, run.Exit) << run.Out << run.Err;
    EXPECT_NE(std::string::npos, WithoutCarriageReturns(run.Out).find("192.168.7.21 on " + MAPPED_PORT +
                                                                      ": written and verified"))
        << run.Out;
    RecordText record;
    std::string error;
    ASSERT_TRUE(ParseRecord(ReadWholeFile("wine-record.csv"), &record, &error)) << error;
    ASSERT_EQ(2u, record.Rows.size());
    for (const RecordRow& row : record.Rows) {
        EXPECT_EQ(MAPPED_PORT, row.Port);
        EXPECT_EQ(EnvironmentText("ZRV_SERIAL"), row.Serial);
    }
    std::remove("wine-record.csv");
    std::remove("wine-base.dat");
}

// zrvlink ends with the usage error's status, its message first on stderr.
void ExpectUsageError(const std::vector<std::string>& args, const std::string& message) {
    const ExeRun run = Zrvlink(args);
    EXPECT_EQ(2, run.Exit) << args.back() << ": " << run.Err;
    EXPECT_EQ(0u, run.Err.find(message)) << run.Err;
}

// Refused before anything is opened: a device under two of Windows' names; a backup that is FILE under
// another name.
TEST(WindowsNames, SameDeviceTwiceAndBackupThatIsFileAreUsageErrors) {
    for (const char* other : {"com7", "\\\\.\\COM7", "\\\\.\\cOm007"}) {
        ExpectUsageError({"write", "wine-none.dat", "--port", "COM7", "--port", other},
                         std::string("zrvlink: ports COM7 and ") + other + " are the same device");
    }
    CParamFile setup;
    ASSERT_TRUE(setup.Save("wine-setup.dat"));
    ASSERT_TRUE(CreateHardLinkA("wine-hard.dat", "wine-setup.dat", nullptr));
    for (const char* backup : {".\\wine-setup.dat", "WINE-SETUP.DAT", "wine-hard.dat"}) {
        ExpectUsageError({"write", "wine-setup.dat", "--backup", backup},
                         std::string("zrvlink: --backup ") + backup + " is FILE wine-setup.dat");
    }
    std::remove("wine-hard.dat");
    std::remove("wine-setup.dat");
}

// The ledger's address is read by no libpq.dll but the one beside zrvlink.exe (which the line of stations
// uses): a copy of zrvlink.exe alone is told where the kit puts the DLL, though one lies in the folder it
// runs in (which the DLL search of Windows would look at) and on the PATH.
TEST(LedgerLibrary, NoLibraryButTheOneBesideTheProgramReadsTheLedgersAddress) {
    std::string folder = ProgramPath();
    folder.erase(folder.find_last_of('\\') + 1);
    ASSERT_TRUE(CreateDirectoryA("wine-alone", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CopyFileA(ProgramPath().c_str(), "wine-alone\\zrvlink.exe", FALSE));
    ASSERT_TRUE(CopyFileA((folder + "libpq.dll").c_str(), "libpq.dll", FALSE));
    const std::string path = EnvironmentText("PATH");
    SetEnvironmentVariableA("PATH", (".;" + folder + ";" + path).c_str());
    CChildProcess alone;
    ASSERT_TRUE(alone.Start("wine-alone\\zrvlink.exe", {"ledger", "status", "--ledger", "host='unended"}));
    EXPECT_EQ(2, alone.Wait());
    EXPECT_EQ(0u, alone.Errors().find("zrvlink: --ledger: the ledger needs libpq.dll beside zrvlink.exe"))
        << alone.Errors();
    SetEnvironmentVariableA("PATH", path.c_str());
    EXPECT_TRUE(DeleteFileA("libpq.dll") && DeleteFileA("wine-alone\\zrvlink.exe") &&
                RemoveDirectoryA("wine-alone"));
}

} // namespace

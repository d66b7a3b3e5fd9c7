// zrvlink.exe under Wine, found through the registry as the setup program finds its device: run by
// run-detect.sh, first with the simulator's pty mapped as COM<ZRV_COM_PORT> and a slow simulator's as
// COM<ZRV_SLOW_PORT> (PortMapped), then with the first mapping gone (PortUnmapped).
#include "cli/ChildProcess.h"
#include "cli/SetupText.h"
#include "core/ParamFile.h"

#include "platform/SystemError.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
        ADD_FAILURE() << "cannot start " << ProgramPath();
        return ExeRun{-1, "", ""};
    }
    const int exit = child.Wait();
    return ExeRun{exit, child.Output(), child.Errors()};
}

// Console text gets CR LF from the C runtime; setup-file text has its own.
std::string WithoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::string PortFromEnvironment(const char* name) {
    const char* port = std::getenv(name);
    return std::string("COM") + (port != nullptr ? port : "?");
}

std::string MappedPort() {
    return PortFromEnvironment("ZRV_COM_PORT");
}

TEST(PortMapped, PortsListsOnlyTheDevicesPresentPort) {
    const ExeRun run = Zrvlink({"ports"});
    EXPECT_EQ(0, run.Exit);
    EXPECT_EQ(MappedPort() + "\n", WithoutCarriageReturns(run.Out));
    EXPECT_EQ("", run.Err);
}

TEST(PortMapped, ReadWithoutPortReadsTheDetectedDevice) {
    const ExeRun run = Zrvlink({"read"});
    EXPECT_EQ(0, run.Exit) << run.Err;
    CParamFile fresh; // the simulator starts with the record's defaults
    std::string expected;
    ASSERT_TRUE(FormatSetupText(*fresh.GetParam(), &expected));
    EXPECT_EQ(expected, run.Out) << "36 lines with CR LF, exactly as Save writes them";
    EXPECT_EQ("", run.Err);
}

TEST(PortMapped, ParallelReadsReportEachPortInOrder) {
    // Not COM7.dat: Windows would open the port itself under that name.
    const std::string file = "port-" + MappedPort() + ".dat";
    const ExeRun run = Zrvlink({"read", "--port", MappedPort(), "--port", "COM29", "--output-dir", "."});
    EXPECT_EQ(11, run.Exit) << run.Err;
    char notFound[256]; // Wine's words differ from Windows'
    SystemErrorText(ERROR_FILE_NOT_FOUND, notFound, sizeof notFound);
    EXPECT_EQ(MappedPort() + ": OK ./" + file + "\nCOM29: WARNING: cannot open COM29: " + notFound + "\n",
              WithoutCarriageReturns(run.Out));
    CParamFile saved;
    EXPECT_TRUE(saved.Load(file.c_str()));
    EXPECT_EQ(115200, saved.GetParam()->BaudRate);
    std::remove(file.c_str());
}

// A reply that takes longer than the port's read time-out (500 ms) is still a reply: a device may need
// a moment to answer at all, or to write its flash on "save".
TEST(PortMapped, SlowRepliesDoNotEndTheTransfer) {
    const std::string slow = PortFromEnvironment("ZRV_SLOW_PORT");
    const ExeRun read = Zrvlink({"read", "--port", slow}); // "vers" takes 600 ms
    EXPECT_EQ(0, read.Exit) << read.Err;
    CParamFile sent;
    ASSERT_TRUE(sent.Save("slow.dat"));
    const ExeRun write = Zrvlink({"write", "slow.dat", "--port", slow}); // "save" takes 1500 ms
    EXPECT_EQ(0, write.Exit) << write.Err;
    EXPECT_EQ("", write.Out + write.Err);
    std::remove("slow.dat");
}

TEST(PortUnmapped, ReadFindsNoDevice) {
    const ExeRun ports = Zrvlink({"ports"});
    EXPECT_EQ(0, ports.Exit);
    EXPECT_EQ("", ports.Out);
    const ExeRun run = Zrvlink({"read"});
    EXPECT_EQ(10, run.Exit);
    EXPECT_EQ("", run.Out);
    EXPECT_EQ("WARNING: communication error\n", WithoutCarriageReturns(run.Err));
}

} // namespace

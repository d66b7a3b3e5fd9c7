// zrvlink's portable logic: exit statuses and their messages, setup text and the key-by-key comparison,
// the progress bar, parallel runs' plans, Win32 command lines and port names.
#include "cli/BatchPlan.h"
#include "cli/CliArgs.h"
#include "cli/CliOutcome.h"
#include "cli/Progress.h"
#include "cli/SetupText.h"
#include "cli/Win32Text.h"
#include "core/IPv4.h"
#include "core/ParamFile.h"
#include "devicelink/ParamTransfer.h"
#include "platform/SystemError.h"

#include "SampleParams.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool Parse(const std::vector<std::string>& args, CliRequest* request, std::string* error) {
    std::vector<const char*> argv = {"zrvlink"};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    return ParseCliArgs(static_cast<int>(argv.size()), argv.data(), request, error);
}

std::string Joined(const std::vector<std::string>& words) {
    std::string all;
    for (const std::string& word : words) {
        all += "[" + word + "]";
    }
    return all;
}

TEST(CliOutcome, ExitStatusesCarryTheSetupProgramsMessages) {
    const struct {
        int Exit;
        const char* Message;
    } cases[] = {
        {EXIT_NO_DEVICE, "WARNING: communication error"}, {EXIT_COMM, "WARNING: communication error"},
        {EXIT_HARDWARE, "WARNING: hardware error"},       {EXIT_RESOURCE, "WARNING: not enoungh resouce"},
        {EXIT_FILE_LOAD, "WARNING: file load error"},     {EXIT_FILE_SAVE, "WARNING: file save error"},
        {EXIT_FILE_CONTENT, "WARNING: parameter error"},
    };
    for (const auto& c : cases) {
        const CliOutcome outcome = Failure(c.Exit);
        EXPECT_EQ(c.Exit, outcome.Exit);
        ASSERT_EQ(1u, outcome.Lines.size()) << c.Exit;
        EXPECT_EQ(c.Message, outcome.Lines[0]) << c.Exit;
    }
    const CliOutcome port = PortFailure("/dev/ttyACM3");
    EXPECT_EQ(EXIT_PORT, port.Exit);
    ASSERT_EQ(1u, port.Lines.size());
    EXPECT_EQ("WARNING: cannot open /dev/ttyACM3", port.Lines[0]);
    // A code without a hint of ours gets the system's own words (2: no such file, on either system).
    char text[256];
    EXPECT_EQ(std::string("WARNING: cannot open COM3: ") + SystemErrorText(2, text, sizeof text),
              PortFailure("COM3", 2).Lines.at(0));
}

TEST(CliOutcome, EngineResultsAndLoadErrorsMapToExitStatuses) {
    const struct {
        int32_t Result;
        int Exit;
    } transfers[] = {{PT_OK, EXIT_OK},
                     {PT_ERR_PORT, EXIT_PORT},
                     {PT_ERR_COMM, EXIT_COMM},
                     {PT_ERR_HARDWARE, EXIT_HARDWARE},
                     {PT_ERR_RESOURCE, EXIT_RESOURCE},
                     {99, EXIT_COMM}};
    for (const auto& c : transfers) {
        EXPECT_EQ(c.Exit, ExitOfTransfer(c.Result)) << c.Result;
    }
    EXPECT_EQ(EXIT_FILE_LOAD, ExitOfLoad(FILE_ERROR_OPEN));
    EXPECT_EQ(EXIT_FILE_CONTENT, ExitOfLoad(FILE_ERROR_CONTENT));
}

TEST(CliOutcome, ResultLineIsOKOrTheLinesJoined) {
    EXPECT_EQ("OK", ResultLineOf(CliOutcome{}));
    EXPECT_EQ("WARNING: hardware error", ResultLineOf(Failure(EXIT_HARDWARE)));
    EXPECT_EQ("WARNING: verify error; Target3: 1 -> 0; BaudRate: 1 -> 2",
              ResultLineOf(
                  CliOutcome{EXIT_VERIFY, {"WARNING: verify error", "Target3: 1 -> 0", "BaudRate: 1 -> 2"}}));
}

TEST(FormatSetupText, IsByteForByteWhatSaveWrites) {
    for (const ParamSet& set : {SampleParamSet(), ParamSet{}}) {
        CParamFile file;
        *file.GetParam() = set;
        const std::string path = TempFilePath("setup-text");
        ASSERT_TRUE(file.Save(path.c_str()));
        std::string text;
        ASSERT_TRUE(FormatSetupText(set, &text));
        EXPECT_EQ(ReadWholeFile(path), text);
        std::remove(path.c_str());
    }
}

TEST(CompareSetups, ReportsEachDifferingKeyInSetupFileSyntax) {
    const struct {
        void (*Change)(ParamSet* set);
        const char* Expected;
    } cases[] = {
        {[](ParamSet*) {}, ""},
        {[](ParamSet* s) {
             s->Target[3] = ParamTarget{0, MakeIPv4(10, 0, 0, 33), "4142"};
         },
         "Target3: 1,10.0.0.3 -> 0,10.0.0.33,4142\n"},
        {[](ParamSet* s) { s->Target[0].Enable = 0; }, "Target0: 1,10.0.0.0,5A5256 -> 0,10.0.0.0,5A5256\n"},
        {[](ParamSet* s) { s->Target[0].Name[0] = '\0'; }, "Target0: 1,10.0.0.0,5A5256 -> 1,10.0.0.0\n"},
        {[](ParamSet* s) { s->Target[0].Enable = 7; }, ""}, // any nonzero flag is 1 in a file
        {[](ParamSet* s) {
             s->BaudRate = 9600;
             s->Gateway = 0;
             s->Target[31].Address = 0;
         },
         "BaudRate: 57600 -> 9600\nGateway: 192.168.0.1 -> 0.0.0.0\nTarget31: 0,10.0.0.31 -> 0,0.0.0.0\n"},
    };
    for (const auto& c : cases) {
        const ParamSet left = SampleParamSet();
        ParamSet right = left;
        c.Change(&right);
        std::string lines;
        for (const SetupDifference& difference : CompareSetups(left, right, EveryKey())) {
            lines += FormatDifference(difference) + "\n";
        }
        EXPECT_EQ(c.Expected, lines);
    }
}

TEST(KeysWrittenFrom, LeavesOutWhatAWriteDoesNotSend) {
    ParamSet device = SampleParamSet();
    device.BaudRate = 115200;
    device.IPAddress = MakeIPv4(10, 9, 9, 9);
    const struct {
        void (*Sent)(ParamSet* set);
        const char* Expected;
    } cases[] = {
        {[](ParamSet*) {}, "BaudRate: 57600 -> 115200\nIPAddress: 192.168.0.10 -> 10.9.9.9\n"},
        {[](ParamSet* s) { s->BaudRate = 0; }, "IPAddress: 192.168.0.10 -> 10.9.9.9\n"},
        {[](ParamSet* s) { s->IPAddress = s->SubnetMask = s->Gateway = 0; }, "BaudRate: 57600 -> 115200\n"},
        {[](ParamSet* s) { s->IPAddress = s->SubnetMask = 0; }, // the gateway alone still sends all three
         "BaudRate: 57600 -> 115200\nIPAddress: 0.0.0.0 -> 10.9.9.9\nSubnetMask: 0.0.0.0 -> 255.255.255.0\n"},
        {[](ParamSet* s) { s->Target[5].Address = 1; }, // destinations are always sent
         "BaudRate: 57600 -> 115200\nIPAddress: 192.168.0.10 -> 10.9.9.9\nTarget5: 0,0.0.0.1 -> "
         "0,10.0.0.5\n"},
    };
    for (const auto& c : cases) {
        ParamSet sent = SampleParamSet();
        c.Sent(&sent);
        std::string lines;
        for (const SetupDifference& difference : CompareSetups(sent, device, KeysWrittenFrom(sent))) {
            lines += FormatDifference(difference) + "\n";
        }
        EXPECT_EQ(c.Expected, lines);
    }
}

TEST(FormatProgressBar, FillsInProportionAndClampsItsEnds) {
    const struct {
        int Percent;
        int Filled;
        const char* Number;
    } cases[] = {{0, 0, "  0%"},    {2, 0, "  2%"},  {50, 20, " 50%"},
                 {100, 40, "100%"}, {-5, 0, "  0%"}, {250, 40, "100%"}};
    for (const auto& c : cases) {
        const std::string bar = FormatProgressBar(c.Percent);
        EXPECT_EQ("\r[" + std::string(c.Filled, '#') + std::string(PROGRESS_BAR_WIDTH - c.Filled, ' ') +
                      "] " + c.Number,
                  bar);
    }
    const std::string clear = ClearProgressBar();
    EXPECT_EQ(FormatProgressBar(100).size() + 1, clear.size()) << "blanks the whole bar";
    EXPECT_EQ('\r', clear.back());
}

TEST(PortFileName, MakesOneSafeFileNamePerPort) {
    const struct {
        const char* Port;
        const char* Name;
    } cases[] = {
        {"/dev/ttyACM0", "ttyACM0.dat"},
        {"/dev/pts/3", "pts-3.dat"},
        {"/tmp/dev/ttyACM1", "tmp-dev-ttyACM1.dat"},
        {"../x y", "x-y.dat"},
        {"/dev/", "port.dat"},
        {"--all", "all.dat"},
        // Windows opens a device for these names, whatever the extension.
        {"COM7", "port-COM7.dat"},
        {"\\\\.\\com12", "port-com12.dat"},
        {"/dev/lpt1", "port-lpt1.dat"},
        {"/dev/nul", "port-nul.dat"},
        {"/dev/con.x", "port-con.x.dat"},
        {"/dev/COMET", "COMET.dat"},
        {"/dev/console", "console.dat"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Name, PortFileName(c.Port)) << c.Port;
    }
    EXPECT_EQ("out/pts-3.dat", PortOutputPath("out", "/dev/pts/3"));
    EXPECT_EQ("out/pts-3.dat", PortOutputPath("out/", "/dev/pts/3"));
    EXPECT_EQ("C:\\out\\port-COM3.dat", PortOutputPath("C:\\out\\", "COM3"));
}

TEST(FindFileNameClash, NamesThePortThatWouldOverwriteAnother) {
    std::string clash;
    EXPECT_FALSE(FindFileNameClash({"/dev/pts/3", "/dev/pts/4", "COM3"}, &clash));
    EXPECT_TRUE(FindFileNameClash({"COM3", "/dev/port-COM3"}, &clash));
    EXPECT_TRUE(FindFileNameClash({"/dev/pts/3", "/dev/pts/4", "/dev/pts-3"}, &clash));
    EXPECT_EQ("/dev/pts-3", clash);
}

TEST(ChildArguments, EachChildDoesOnePortAndReportsInOneLine) {
    const struct {
        std::vector<std::string> Args;
        const char* Child;
    } cases[] = {
        {{"read", "--port", "A", "--port", "B", "--output-dir", "out"},
         "[read][--port][B][--result-line][--output][out/B.dat]"},
        {{"write", "--port", "A", "--port", "B", "--verify", "--trace", "--", "-x.dat"},
         "[write][--port][B][--result-line][--verify][--trace][--][-x.dat]"},
    };
    for (const auto& c : cases) {
        CliRequest request;
        std::string error;
        ASSERT_TRUE(Parse(c.Args, &request, &error)) << error;
        const std::vector<std::string> child = ChildArguments(request, "B");
        EXPECT_EQ(c.Child, Joined(child));
        CliRequest reparsed;
        ASSERT_TRUE(Parse(child, &reparsed, &error)) << error;
        EXPECT_TRUE(reparsed.ResultLine);
        EXPECT_FALSE(IsParallel(reparsed)) << "a child must not start children of its own";
    }
}

TEST(BatchResultLine, NamesThePortAndTheReadsFile) {
    CliRequest read;
    read.Command = CliCommand::Read;
    read.OutputDir = "out";
    CliRequest write;
    write.Command = CliCommand::Write;
    EXPECT_EQ("/dev/pts/3: OK out/pts-3.dat", BatchResultLine(read, "/dev/pts/3", "OK\n"));
    EXPECT_EQ("/dev/pts/3: WARNING: communication error",
              BatchResultLine(read, "/dev/pts/3", "WARNING: communication error\r\nmore"));
    EXPECT_EQ("COM4: OK", BatchResultLine(write, "COM4", "OK\n"));
}

TEST(ChildFailureReport, EndsWithTheLastLineTheChildWroteToStderr) {
    const struct {
        const char* Errors;
        const char* Report;
    } cases[] = {
        {"", "WARNING: crashed (signal 11)"},
        {"\r\n\n", "WARNING: crashed (signal 11)"},
        {"only\n", "WARNING: crashed (signal 11): only"},
        {"first\r\nlast\r\n\r\n", "WARNING: crashed (signal 11): last"},
        {"first\ncut short", "WARNING: crashed (signal 11): cut short"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Report, ChildFailureReport("crashed (signal 11)", c.Errors)) << c.Errors;
    }
}

TEST(QuoteWindowsArgument, KeepsEveryArgumentWholeForTheRuntimesParser) {
    const struct {
        const char* Arg;
        const char* Quoted;
    } cases[] = {
        {"plain", "plain"},
        {"", "\"\""},
        {"two words", "\"two words\""},
        {"tab\there", "\"tab\there\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\dir\\file.dat", "C:\\dir\\file.dat"},
        {"C:\\my dir\\", "\"C:\\my dir\\\\\""},
        {"a\\\\\"b", "\"a\\\\\\\\\\\"b\""},
        {"end\\", "end\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Quoted, QuoteWindowsArgument(c.Arg)) << c.Arg;
    }
    EXPECT_EQ("C:\\zrvlink.exe write --port COM3 \"my file.dat\"",
              WindowsCommandLine({"C:\\zrvlink.exe", "write", "--port", "COM3", "my file.dat"}));
}

TEST(ParseComPortName, TakesCOMnInAnyCaseAndNothingElse) {
    const struct {
        const char* Name;
        int32_t Number; // 0: refused
    } cases[] = {
        {"COM1", 1},    {"com7", 7}, {"Com12", 12},     {"\\\\.\\COM255", 255},
        {"COM256", 0},  {"COM0", 0}, {"COM", 0},        {"COM-1", 0},
        {"COM1 ", 0},   {"COMx", 0}, {"/dev/ttyS0", 0}, {"LPT1", 0},
        {"\\\\.\\", 0}, {"", 0},
    };
    for (const auto& c : cases) {
        int32_t number = 0;
        EXPECT_EQ(c.Number != 0, ParseComPortName(c.Name, &number)) << c.Name;
        EXPECT_EQ(c.Number, number) << c.Name;
    }
}

} // namespace

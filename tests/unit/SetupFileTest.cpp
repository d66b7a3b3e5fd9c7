// Setup files: which lines Load accepts and what they set, the file Save writes (and so the key table's
// fields), and saves that fail without losing the previous file; values set as given, and the names that a
// saved file would not give back. The round trip of every file Load accepts is the setup-file fuzz
// target's, whose seed corpus every build replays.
#include "core/IPv4.h"
#include "core/ParamKeys.h"
#include "persistence/ParamFile.h"
#include "persistence/SetupFileIO.h"
#include "persistence/SetupLines.h"

#include "SampleParams.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

ParamSet ZeroRecord() {
    ParamSet set;
    std::memset(&set, 0, sizeof set); // the names' padding included
    return set;
}

// The trace line of a file that could not be opened, with the system's code that the owner kept.
std::string TraceLineFor(const std::string& path, const CParamFile& file) {
    return "WARNING: cannot open file " + path + ": error " + std::to_string(file.SystemError) + "\n";
}

void SetTarget(ParamSet& s, int i, int32_t enable, uint32_t address, const char* name) {
    s.Target[i].Enable = enable;
    s.Target[i].Address = address;
    std::strcpy(s.Target[i].Name, name);
}

constexpr int32_t REFUSED = -1;

// What an accepted file sets in a zero record: the baud rate, the gateway and one destination.
struct LoadCase {
    const char* Title;
    std::string Content;
    int32_t Keys; // lines with a key; REFUSED: the content is refused
    int32_t BaudRate = 0;
    uint32_t Gateway = 0;
    int Target = -1; // the destination set, with the fields below
    int32_t Enable = 0;
    uint32_t Address = 0;
    std::string Name = "";
};

std::string Utf16Le(const std::string& text) {
    std::string wide;
    for (char c : text) {
        wide += c + std::string(1, '\0');
    }
    return wide;
}

// Lines are read in pieces of 255 characters. What PowerShell 5 and Notepad write when told "Unicode",
// and binary files, are no setup files: loading one as an empty file would let a write clear the device.
// One line of a file that is no setup file is enough to refuse it.
TEST(SetupFileLoad, AcceptedFilesSetTheirFieldsAndNothingElseAndOneBadLineRefusesTheFile) {
    using namespace std::string_literals;
    const std::string hex70(70, 'A');
    const std::string hex300(300, 'F');
    std::vector<LoadCase> cases = {
        {"empty file", "", 0},
        {"case, blanks, comment", "baudrate  =  9600   ; fast\r\n", 1, 9600},
        {"tabs, leading zeros, LF", "\tBAUDRATE\t=\t0019200\t\n", 1, 19200},
        {"no line end, zero", "BaudRate=0", 1},
        {"target octet of four digits", "Target0=1,0192.168.0.1", 1, 0, 0, 0, 1, MakeIPv4(192, 168, 0, 1)},
        {"comment cuts the name", "Target5=1,10.0.0.1,41;42", 1, 0, 0, 5, 1, MakeIPv4(10, 0, 0, 1), "41"},
        {"name keeps commas, blanks, '='", "target31=1,1.2.3.4,a,b c=d  \r\n", 1, 0, 0, 31, 1,
         MakeIPv4(1, 2, 3, 4), "a,b c=d"},
        {"name cut to 64", "TARGET7=0,0.0.0.0," + hex70, 1, 0, 0, 7, 0, 0, std::string(64, 'A')},
        {"text without '=' is skipped", "hello\r\n\r\n; BaudRate=1\r\n   \r\n", 0},
        {"a target line replaces the whole entry", "Target3=1,1.1.1.1,AABB\r\nTarget3=0,2.2.2.2\r\n", 2, 0, 0,
         3, 0, MakeIPv4(2, 2, 2, 2)},
        {"a shorter name leaves nothing of a longer one",
         "Target3=1,1.1.1.1,AABBCC\r\nTarget3=1,1.1.1.1,D\r\n", 2, 0, 0, 3, 1, MakeIPv4(1, 1, 1, 1), "D"},
        {"a bare CR ends what is read of the line", "BaudRate=9600\rIPAddress=1.2.3.4\r\n", 1, 9600},
        {"every line counts", "BaudRate=1\r\nBaudRate=2\r\nhello\r\nGateway=1.1.1.1", 3, 2,
         MakeIPv4(1, 1, 1, 1)},
        {"a line begins after 255 characters", ";" + std::string(254, 'x') + "BaudRate=1\r\n", 1, 1},
        {"a key split at 255 is unknown", ";" + std::string(253, 'x') + "BaudRate=1\r\n", REFUSED},
        {"the rest of a long name is skipped", "Target0=1,1.2.3.4," + hex300 + "\r\nBaudRate=7\r\n", 2, 7, 0,
         0, 1, MakeIPv4(1, 2, 3, 4), std::string(64, 'F')},
        {"UTF-8 mark skipped", "\xEF\xBB\xBF" + "BaudRate=9600\r\n"s, 1, 9600},
        {"shorter than a mark", "\n", 0},
        {"UTF-8 mark later is part of a key", "BaudRate=1\r\n\xEF\xBB\xBF" + "BaudRate=2\r\n"s, REFUSED},
        {"UTF-16 LE with mark", "\xFF\xFE" + Utf16Le("BaudRate=9600\r\n"), REFUSED},
        {"NUL in a comment", "BaudRate=9600 ; a\0b\r\n"s, REFUSED},
        {"NUL as the last byte", "BaudRate=9600\r\n\0"s, REFUSED}};
    for (const char* line :
         {"IPAddress=192.168.0.256", "IPAddress=   \t", "IPAddress=1.2.3.4=5", "Target0=1, 192.168.0.1",
          "Target0=1", "Target0=1,", "Target0=,1.2.3.4", "Target0=1,1.2.3.256", "Target0=-1,1.2.3.4",
          "Target32=0,0.0.0.0", "Target07=0,0.0.0.0", "Target=0,0.0.0.0", "Target+1=0,0.0.0.0", "Version=1",
          "=5", "Baud Rate=1", "BaudRate=-9600", "BaudRate=",
          // Beyond a signed 32-bit value: rejected, never wrapped.
          "BaudRate=2147483648", "Target0=4294967297,1.2.3.4", "Target0=1,4294967488.0.0.1"}) {
        cases.push_back({line, "BaudRate=9600\r\n"s + line + "\r\nGateway=1.1.1.1\r\n", REFUSED});
    }
    for (const auto& c : cases) {
        CScratchDir dir;
        const std::string path = dir.Write("a.dat", c.Content);
        CParamFile file;
        const bool accepted = c.Keys != REFUSED;
        std::string trace =
            CaptureTraceUnstamped([&] { EXPECT_EQ(accepted, file.Load(path.c_str())) << c.Title; });
        EXPECT_EQ(accepted ? FILE_ERROR_NONE : FILE_ERROR_CONTENT, file.FileError) << c.Title;
        EXPECT_EQ(0, file.SystemError) << c.Title;
        EXPECT_EQ("", trace) << c.Title;
        if (accepted) {
            ParamSet expected = ZeroRecord();
            expected.BaudRate = c.BaudRate;
            expected.Gateway = c.Gateway;
            if (c.Target >= 0) {
                SetTarget(expected, c.Target, c.Enable, c.Address, c.Name.c_str());
            }
            EXPECT_TRUE(SameRecord(expected, *file.GetParam())) << c.Title;
            EXPECT_EQ(c.Keys, file.KeysLoaded) << c.Title;
        }
    }
}

// Over an existing longer file, whose permissions stay.
TEST(SetupFileSave, WritesOneLinePerKeyAndTargetWithCRLF) {
    CScratchDir dir;
    const std::string path = dir.Write("a.dat", std::string(5000, 'x'));
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::perms before = fs::status(path).permissions();
    CParamFile file;
    ParamSet& s = *file.GetParam();
    s.BaudRate = 9600;
    s.IPAddress = MakeIPv4(192, 168, 0, 10);
    s.SubnetMask = MakeIPv4(255, 255, 255, 0);
    SetTarget(s, 0, 7, MakeIPv4(192, 168, 0, 20), "4142");
    ASSERT_TRUE(file.Save(path.c_str()));
    EXPECT_EQ(FILE_ERROR_NONE, file.FileError);
    std::string expected = "BaudRate=9600\r\nIPAddress=192.168.0.10\r\nSubnetMask=255.255.255.0\r\n"
                           "Gateway=0.0.0.0\r\nTarget0=1,192.168.0.20,4142\r\n";
    for (int i = 1; i < TARGET_COUNT; ++i) {
        expected += "Target" + std::to_string(i) + "=0,0.0.0.0\r\n";
    }
    EXPECT_EQ(expected, ReadWholeFile(path));
    EXPECT_EQ(before, fs::status(path).permissions());
    EXPECT_EQ(std::set<std::string>{"a.dat"}, dir.Names());
}

// Paths that are no setup file: the record stays, and a trace line names the path and the system's code.
// A directory on POSIX and a device both open for reading; a device would read as empty (or, as a COM
// port, block the reader). An empty path is refused before the system is asked.
TEST(SetupFile, PathsThatAreNoSetupFilesFailWithTheirErrorAndTrace) {
    CScratchDir dir;
    fs::create_directory(dir.File("sub"));
    const struct {
        bool Save;
        std::string Path;
        int32_t SystemError; // -1: any code but 0
    } cases[] = {
        {false, dir.File(""), -1},
        {false, NullDevicePath(), -1},
        {true, "", 0},
        {true, dir.File("sub"), -1},
    };
    for (const auto& c : cases) {
        CParamFile file;
        file.GetParam()->BaudRate = 4800;
        const std::string trace = CaptureTraceUnstamped(
            [&] { EXPECT_FALSE(c.Save ? file.Save(c.Path.c_str()) : file.Load(c.Path.c_str())) << c.Path; });
        EXPECT_EQ(c.Save ? FILE_ERROR_WRITE : FILE_ERROR_OPEN, file.FileError) << c.Path;
        EXPECT_TRUE(c.SystemError < 0 ? file.SystemError != 0 : file.SystemError == c.SystemError) << c.Path;
        EXPECT_EQ(4800, file.GetParam()->BaudRate) << c.Path;
        EXPECT_EQ(c.SystemError != 0 ? TraceLineFor(c.Path, file) : "", trace) << c.Path;
    }
    EXPECT_EQ(std::set<std::string>{"sub"}, dir.Names());
}

// The code of every injected failure; any number the system would not give for these steps.
constexpr int32_t FAULT_CODE = 4321;

// The fault that the hook injects: the step, and for writes which one (0 is the first).
struct {
    FileStep Step;
    int Write;
    int WritesSeen;
} Fault;

int32_t InjectFault(FileStep step) {
    if (step != Fault.Step || (step == FILE_STEP_WRITE && Fault.WritesSeen++ != Fault.Write)) {
        return 0;
    }
    return FAULT_CODE;
}

TEST(SetupFileSave, FailedSaveLeavesThePreviousFileAndNoTemporaryFile) {
    const struct {
        const char* Title;
        FileStep Step;
        int Write;
        bool Traced;
    } cases[] = {
        {"temporary file not creatable", FILE_STEP_CREATE, 0, true},
        {"first line not written", FILE_STEP_WRITE, 0, false},
        {"last line not written", FILE_STEP_WRITE, 35, false},
        {"flush failed", FILE_STEP_FLUSH, 0, false},
        {"target refused to be replaced", FILE_STEP_REPLACE, 0, true},
    };
    const std::string previous = "BaudRate=1200\r\nTarget0=1,1.2.3.4,OLD\r\n";
    for (const auto& c : cases) {
        for (bool exists : {true, false}) {
            CScratchDir dir;
            const std::string path = dir.File("a.dat");
            if (exists) {
                dir.Write("a.dat", previous);
            }
            CParamFile file;
            std::string trace = CaptureTraceUnstamped([&] {
                Fault = {c.Step, c.Write, 0};
                SetFileFaultHook(InjectFault);
                EXPECT_FALSE(file.Save(path.c_str())) << c.Title;
                SetFileFaultHook(nullptr);
            });
            EXPECT_EQ(FILE_ERROR_WRITE, file.FileError) << c.Title;
            EXPECT_EQ(FAULT_CODE, file.SystemError) << c.Title;
            EXPECT_EQ(c.Traced ? TraceLineFor(path, file) : "", trace) << c.Title;
            EXPECT_EQ(exists ? std::set<std::string>{"a.dat"} : std::set<std::string>{}, dir.Names())
                << c.Title;
            if (exists) {
                EXPECT_EQ(previous, ReadWholeFile(path)) << c.Title;
            }
        }
    }
}

TEST(SetupFileSave, SavingThroughALinkReplacesTheFileItPointsTo) {
    CScratchDir dir;
    dir.Write("real.dat", "old");
    std::error_code error;
    fs::create_symlink("real.dat", dir.File("link.dat"), error);
    if (error) {
        GTEST_SKIP() << "no symbolic links here: " << error.message();
    }
    CParamFile file;
    ASSERT_TRUE(file.Save(dir.File("link.dat").c_str()));
    EXPECT_TRUE(fs::is_symlink(dir.File("link.dat")));
    EXPECT_EQ(0u, ReadWholeFile(dir.File("real.dat")).find("BaudRate=115200\r\n"));
}

// A name set as given comes back from a saved file exactly when no line is found uncarried: ';' starts a
// comment and loading trims blanks and tabs at a line's end, while blanks at the start, '=' and ',' are
// kept. The first such line in file order is named; a nonzero Enable saved as 1 is no loss.
TEST(FindUncarriedSetupLine, FindsExactlyTheNamesThatASavedFileGivesBackOtherwise) {
    const struct {
        const char* Name;
        bool Carried;
    } cases[] = {{"5A5256", true}, {"", true},       {" 41", true},     {"a=b,c", true}, {"\t4 2", true},
                 {"41;42", false}, {"4142 ", false}, {"4142\t", false}, {"   ", false},  {"=;,", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("[") + c.Name + "]");
        CScratchDir dir;
        CParamFile file;
        ParamSet& set = *file.GetParam();
        set.Target[9].Enable = 7;
        ASSERT_EQ(SETUP_LINE_APPLIED,
                  ApplySetupKeyValue(&set, "target5", (std::string("1,010.0.0.5,") + c.Name).c_str()));
        EXPECT_STREQ(c.Name, set.Target[5].Name);
        EXPECT_EQ(MakeIPv4(10, 0, 0, 5), set.Target[5].Address);
        ASSERT_TRUE(file.Save(dir.File("a.dat").c_str()));
        CParamFile loaded;
        ASSERT_TRUE(loaded.Load(dir.File("a.dat").c_str()));
        EXPECT_EQ(c.Carried, std::string(c.Name) == loaded.GetParam()->Target[5].Name);
        EXPECT_EQ(c.Carried ? -1 : PARAM_KEY_COUNT + 5, FindUncarriedSetupLine(set));
        std::strcpy(set.Target[30].Name, "a;");
        EXPECT_EQ(PARAM_KEY_COUNT + (c.Carried ? 30 : 5), FindUncarriedSetupLine(set));
    }
    // Exactly as given: neither blanks nor a comment are taken off.
    for (const char* value : {" 9600", "9600 ", "9600;x"}) {
        ParamSet set = ZeroRecord();
        EXPECT_EQ(SETUP_LINE_REJECTED, ApplySetupKeyValue(&set, "BaudRate", value)) << value;
    }
}

} // namespace

// The device protocol's text: the exact bytes of the command lines that the engine's sequences leave out
// and the lines that must never be sent; received bytes cut into replies at the prompt, and the accept
// and reject tables of every reply parser.
#include "devicelink/DeviceCommands.h"
#include "devicelink/ReplyFramer.h"
#include "devicelink/ReplyParser.h"

#include "SampleParams.h"
#include "core/IPv4.h"
#include "core/ParamSet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class CRecordingSender : public CCommandSender {
public:
    bool SendCommand(const char* line, std::size_t length) override {
        Lines.emplace_back(line, length);
        return true;
    }
    std::vector<std::string> Lines;
};

// The builders' other lines are checked byte by byte in the engine's read and write sequences and in
// zrvlink's writes; these are the longest names, one without its terminator. A name with a line break
// inside would carry a second command: its line is not sent.
TEST(DeviceCommands, NamesAreSentWholeNoFurtherThanTheirFieldAndNeverWithALineBreak) {
    ParamSet set = SampleParamSet();
    std::memset(set.Target[30].Name, 'F', TARGET_NAME_SIZE - 1);
    std::memset(set.Target[2].Name, 'A', TARGET_NAME_SIZE); // a name without its terminator
    CRecordingSender sender;
    EXPECT_TRUE(CmdSetName(sender, 30, set));
    EXPECT_TRUE(CmdSetName(sender, 2, set));
    for (const char* name : {"41\r42", "41\n", "\r", "4142\r\nsave"}) {
        std::snprintf(set.Target[4].Name, TARGET_NAME_SIZE, "%s", name);
        EXPECT_FALSE(CmdSetName(sender, 4, set)) << name;
    }
    EXPECT_EQ((std::vector<std::string>{"name 30 " + std::string(64, 'F') + "\r",
                                        "name 2 " + std::string(64, 'A') + "\r"}),
              sender.Lines);
}

// Feeds `bytes` through a fresh framer; returns every reply that a prompt ended. Bytes after a prompt
// lead the next reply, whether they came before its command or after.
std::vector<std::string> Frame(const std::string& bytes) {
    ReplyBuffer reply{};
    std::vector<std::string> replies;
    for (char c : bytes) {
        if (PutReplyChar(reply, static_cast<unsigned char>(c))) {
            replies.emplace_back(reply.Text);
        }
    }
    return replies;
}

TEST(PutReplyChar, PromptEndsEachReply) {
    const std::string a300(300, 'a');
    const struct {
        std::string Bytes;
        std::vector<std::string> Replies;
    } cases[] = {
        {"9600\r\n>", {"9600\r\n"}},
        {">", {""}},
        {"OK>\r\nstray9600>", {"OK", "\r\nstray9600"}},
        {"no prompt yet", {}},
        {std::string("a\0b\x1B", 4) + "c\x7F\x80\xFF\td>",
         {"abc\x7F"
          "d"}}, // controls and high bytes vanish
        {a300 + ">next>", {a300.substr(0, REPLY_SIZE - 1), "next"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Replies, Frame(c.Bytes)) << c.Bytes;
    }
}

// Parsers work in place on a reply buffer: each call gets its own copy.
TEST(IsReplyOK, OnlyExactlyOK) {
    for (std::string reply : {"OK", "\r\nOK\r\n"}) {
        EXPECT_TRUE(IsReplyOK(&reply[0])) << '"' << reply << '"';
    }
    for (std::string reply : {"ok", "OK ", "OK!", "", "OK\r\nOK"}) {
        EXPECT_FALSE(IsReplyOK(&reply[0])) << '"' << reply << '"';
    }
}

// The number and address rules themselves are ParseDecimal's and ParseAddress's; here what the reply adds
// around them, and that a rejected reply leaves the output alone.
TEST(GetReplyNumber, AcceptsDigitsAloneBetweenLineEndsAndFlagsAnyNonzeroAsOne) {
    const struct {
        const char* Text;
        bool Accepted;
        int32_t Value;
    } cases[] = {
        {"0", true, 0},           {"\r\n\r\n115200\r\n\r\n", true, 115200},
        {"2147483648", false, 0}, {" 9600", false, 0},
        {"9600bps", false, 0},    {"\r\n", false, 0},
    };
    for (const auto& c : cases) {
        std::string reply = c.Text;
        int32_t number = -1;
        int32_t flag = -1;
        EXPECT_EQ(c.Accepted, GetReplyNumber(reply.data(), &number)) << '"' << c.Text << '"';
        EXPECT_EQ(c.Accepted ? c.Value : -1, number) << c.Text;
        reply = c.Text;
        EXPECT_EQ(c.Accepted, GetReplyFlag(reply.data(), &flag)) << c.Text;
        EXPECT_EQ(c.Accepted ? (c.Value != 0 ? 1 : 0) : -1, flag) << c.Text;
    }
}

TEST(GetReplyAddress, AcceptsOneDottedQuadBetweenLineEnds) {
    std::string reply = "\r\n10.0.0.5\r\n";
    uint32_t address = 0;
    EXPECT_TRUE(GetReplyAddress(&reply[0], &address));
    EXPECT_EQ(MakeIPv4(10, 0, 0, 5), address);
    for (std::string refused : {"1.2.3.256", " 1.2.3.4"}) {
        EXPECT_FALSE(GetReplyAddress(&refused[0], &address)) << refused;
        EXPECT_EQ(MakeIPv4(10, 0, 0, 5), address) << refused;
    }
}

// A name with a line break inside could not be sent back as one command line: rejected, output untouched
// (that no name the parser accepts holds one is the replies fuzz target's).
TEST(GetReplyText, CopiesTheTrimmedReplyBoundedBySizeAndNamesHoldNoLineBreak) {
    const struct {
        std::string Text;
        std::size_t Size;
        std::string Copied;
        bool IsName; // accepted as a name
    } cases[] = {
        {std::string(70, '4'), TARGET_NAME_SIZE, std::string(64, '4'), true},
        {"4142", 3, "41", true},
        {"\r\n", TARGET_NAME_SIZE, "", true},
        {"41\r\n42", TARGET_NAME_SIZE, "41\r\n42", false},
    };
    for (const auto& c : cases) {
        std::string reply = c.Text;
        char text[TARGET_NAME_SIZE + 1];
        text[c.Size] = '#'; // a guard byte past the size
        EXPECT_TRUE(GetReplyText(reply.data(), text, c.Size));
        EXPECT_EQ(c.Copied, text) << c.Text;
        EXPECT_EQ('#', text[c.Size]) << "written past the size";
        reply = c.Text;
        char name[TARGET_NAME_SIZE] = "keep";
        EXPECT_EQ(c.IsName, GetReplyName(reply.data(), name, c.Size)) << c.Text;
        EXPECT_EQ(c.IsName ? c.Copied : "keep", name) << c.Text;
    }
}

TEST(GetReplyNetParam, ReplyForms) {
    const uint32_t a = MakeIPv4(192, 168, 0, 10), m = MakeIPv4(255, 255, 255, 0),
                   g = MakeIPv4(192, 168, 0, 1);
    const struct {
        const char* What;
        const char* Text;
        bool Accepted;
        uint32_t Address, Mask, Gateway;
    } cases[] = {
        {"any order", "gateway 192.168.0.1\nnetmask 255.255.255.0\naddress 192.168.0.10", true, a, m, g},
        {"address alone", "\r\naddress 192.168.0.10\r\n", true, a, 0, 0},
        {"dhcp", "dhcp\r\n", true, 0, 0, 0},
        {"dhcp after address", "address 192.168.0.10\r\ndhcp\r\n", true, 0, 0, 0},
        {"blanks and tabs around", " \taddress   192.168.0.10 \t\r\n", true, a, 0, 0},
        {"later duplicate wins", "address 1.1.1.1\r\naddress 192.168.0.10\r\n", true, a, 0, 0},
        {"fourth line never read",
         "address 192.168.0.10\r\nnetmask 255.255.255.0\r\ngateway 192.168.0.1\r\nbad", true, a, m, g},
        {"empty", "\r\n\r\n", false, 0, 0, 0},
        {"capital key", "ADDRESS 192.168.0.10\r\n", false, 0, 0, 0},
        {"unknown key", "address 192.168.0.10\r\nbroadcast 192.168.0.255\r\n", false, a, 0, 0},
        {"tab alone separates", "address\t192.168.0.10\r\n", false, 0, 0, 0},
        {"no value", "address\r\n", false, 0, 0, 0},
        {"bad address", "address 192.168.0.256\r\n", false, 0, 0, 0},
        {"dhcp in capitals", "DHCP\r\n", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        std::string reply = c.Text;
        uint32_t address = 7, mask = 7, gateway = 7; // overwritten in every case
        EXPECT_EQ(c.Accepted, GetReplyNetParam(reply.data(), &address, &mask, &gateway)) << c.What;
        EXPECT_EQ(c.Address, address) << c.What;
        EXPECT_EQ(c.Mask, mask) << c.What;
        EXPECT_EQ(c.Gateway, gateway) << c.What;
    }
}

} // namespace

// Accept and reject tables of every reply parser.
#include "devicelink/ReplyParser.h"

#include "core/IPv4.h"
#include "core/ParamSet.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Parsers work in place on a reply buffer: give each call its own copy.
struct Reply {
    explicit Reply(const std::string& text) : Text(text) {}
    char* data() { return Text.data(); }
    std::string Text;
};

TEST(IsReplyOK, OnlyExactlyOK) {
    const struct {
        const char* Text;
        bool Ok;
    } cases[] = {
        {"OK", true},   {"OK\r\n", true}, {"\r\nOK\r\n", true}, {"ok", false},       {"OK ", false},
        {"OK!", false}, {"NG", false},    {"", false},          {"OK\r\nOK", false},
    };
    for (const auto& c : cases) {
        Reply reply(c.Text);
        EXPECT_EQ(c.Ok, IsReplyOK(reply.data())) << '"' << c.Text << '"';
    }
}

// The number rules themselves are ParseDecimal's; here what the reply adds around them.
TEST(GetReplyNumber, AcceptsDigitsAloneBetweenLineEnds) {
    const struct {
        const char* Text;
        bool Accepted;
        int32_t Value;
    } cases[] = {
        {"9600", true, 9600},     {"\r\n\r\n115200\r\n\r\n", true, 115200},
        {"2147483648", false, 0}, {" 9600", false, 0},
        {"9600bps", false, 0},    {"-9600", false, 0},
        {"\r\n", false, 0},
    };
    for (const auto& c : cases) {
        Reply reply(c.Text);
        int32_t number = -1;
        EXPECT_EQ(c.Accepted, GetReplyNumber(reply.data(), &number)) << '"' << c.Text << '"';
        EXPECT_EQ(c.Accepted ? c.Value : -1, number) << c.Text;
    }
}

TEST(GetReplyFlag, StoresOneForAnyNonzeroNumber) {
    const struct {
        const char* Text;
        bool Accepted;
        int32_t Flag;
    } cases[] = {{"0", true, 0}, {"1", true, 1}, {"2", true, 1}, {"\r\n7\r\n", true, 1}, {"on", false, -1}};
    for (const auto& c : cases) {
        Reply reply(c.Text);
        int32_t flag = -1;
        EXPECT_EQ(c.Accepted, GetReplyFlag(reply.data(), &flag)) << c.Text;
        EXPECT_EQ(c.Flag, flag) << c.Text;
    }
}

TEST(GetReplyAddress, AcceptsOneDottedQuadBetweenLineEnds) {
    const struct {
        const char* Text;
        bool Accepted;
        uint32_t Address;
    } cases[] = {
        {"192.168.000.001", true, MakeIPv4(192, 168, 0, 1)},
        {"\r\n10.0.0.5\r\n", true, MakeIPv4(10, 0, 0, 5)},
        {"1.2.3.256", false, 0},
        {" 1.2.3.4", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        Reply reply(c.Text);
        uint32_t address = 0xDEADBEEF;
        EXPECT_EQ(c.Accepted, GetReplyAddress(reply.data(), &address)) << c.Text;
        EXPECT_EQ(c.Accepted ? c.Address : 0xDEADBEEF, address) << c.Text;
    }
}

TEST(GetReplyText, CopiesTheTrimmedReplyBoundedBySize) {
    const struct {
        std::string Text;
        std::size_t Size;
        std::string Copied;
    } cases[] = {
        {"\r\nZRV-Link 1.02\r\n", 256, "ZRV-Link 1.02"},
        {std::string(70, '4'), TARGET_NAME_SIZE, std::string(64, '4')},
        {"4142", 3, "41"},
        {"\r\n", TARGET_NAME_SIZE, ""},
    };
    for (const auto& c : cases) {
        Reply reply(c.Text);
        std::string out(c.Size + 1, '#'); // one guard byte past the size
        EXPECT_TRUE(GetReplyText(reply.data(), out.data(), c.Size));
        EXPECT_EQ(c.Copied, std::string(out.c_str()));
        EXPECT_EQ('#', out[c.Size]) << "written past the size";
    }
}

TEST(GetReplyName, RejectsANameWithALineBreakInside) {
    const struct {
        const char* Text;
        bool Accepted;
        const char* Name;
    } cases[] = {
        {"\r\n4142\r\n", true, "4142"}, {"", true, ""},
        {"41\r\n42", false, "keep"},    {"41\r42", false, "keep"},
        {"41\n42\r\n", false, "keep"},
    };
    for (const auto& c : cases) {
        Reply reply(c.Text);
        char name[TARGET_NAME_SIZE] = "keep";
        EXPECT_EQ(c.Accepted, GetReplyName(reply.data(), name, sizeof name)) << c.Text;
        EXPECT_STREQ(c.Name, name) << c.Text;
    }
}

struct NetParamCase {
    const char* What;
    const char* Text;
    bool Accepted;
    uint32_t Address, Mask, Gateway;
};

TEST(GetReplyNetParam, ReplyForms) {
    const uint32_t a = MakeIPv4(192, 168, 0, 10), m = MakeIPv4(255, 255, 255, 0),
                   g = MakeIPv4(192, 168, 0, 1);
    const NetParamCase cases[] = {
        {"three lines", "address 192.168.0.10\r\nnetmask 255.255.255.0\r\ngateway 192.168.0.1\r\n", true, a,
         m, g},
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
        Reply reply(c.Text);
        uint32_t address = 7, mask = 7, gateway = 7; // overwritten in every case
        EXPECT_EQ(c.Accepted, GetReplyNetParam(reply.data(), &address, &mask, &gateway)) << c.What;
        EXPECT_EQ(c.Address, address) << c.What;
        EXPECT_EQ(c.Mask, mask) << c.What;
        EXPECT_EQ(c.Gateway, gateway) << c.What;
    }
}

} // namespace

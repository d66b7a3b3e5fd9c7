// Accept and reject tables of the shared number and address parsers; what the device's replies and the
// setup files add around them (blanks, signs, other text, a value too large) is shown with the rules.
#include "core/TextParse.h"
#include "core/IPv4.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ParseDecimal, AcceptsOnlyDigitStringsThatFitIn32Bits) {
    const struct {
        const char* Text;
        bool Accepted;
        int32_t Value;
    } cases[] = {
        {"0000000000000192", true, 192}, // many leading zeros are no overflow
        {"2147483647", true, 2147483647},
        {"4294967296", false, 0}, // would wrap to 0 in 32 bits
    };
    for (const auto& c : cases) {
        int32_t value = -77;
        bool accepted = ParseDecimal(c.Text, std::strlen(c.Text), &value);
        EXPECT_EQ(c.Accepted, accepted) << '"' << c.Text << '"';
        EXPECT_EQ(c.Accepted ? c.Value : -77, value) << "failure must leave the output alone: " << c.Text;
    }
}

TEST(ParseAddress, AcceptsOnlyStrictDottedQuads) {
    const struct {
        const char* Text;
        bool Accepted;
        uint32_t Address;
    } cases[] = {
        {"192.168.0.1", true, 0xC0A80001u}, // the first group in the most significant byte
        {"0.0.0.0", true, 0},
        {"255.255.255.255", true, 0xFFFFFFFFu},
        {"010.0.0.1", true, MakeIPv4(10, 0, 0, 1)},
        {"192.168.0.0001", false, 0},
        {"192.168.0.1 ", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        uint32_t address = 0xDEADBEEF;
        EXPECT_EQ(c.Accepted, ParseAddress(c.Text, &address)) << '"' << c.Text << '"';
        EXPECT_EQ(c.Accepted ? c.Address : 0xDEADBEEF, address) << c.Text;
    }
}

} // namespace

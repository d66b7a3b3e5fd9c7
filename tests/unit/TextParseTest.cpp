// Accept and reject tables of the shared number and address parsers.
#include "core/TextParse.h"
#include "core/IPv4.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct DecimalCase {
    const char* Text;
    bool Accepted;
    int32_t Value;
};

TEST(ParseDecimal, AcceptsOnlyDigitStringsThatFitIn32Bits) {
    const DecimalCase cases[] = {
        {"9600", true, 9600},
        {"0000000000000192", true, 192}, // many leading zeros are no overflow
        {"2147483647", true, 2147483647},
        {"2147483648", false, 0}, // one past the largest signed 32-bit value
        {"4294967296", false, 0}, // would wrap to 0 in 32 bits
        {"", false, 0},
        {"-1", false, 0},
        {" 1", false, 0},
        {"12a", false, 0},
    };
    for (const auto& c : cases) {
        int32_t value = -77;
        bool accepted = ParseDecimal(c.Text, std::strlen(c.Text), &value);
        EXPECT_EQ(c.Accepted, accepted) << '"' << c.Text << '"';
        EXPECT_EQ(c.Accepted ? c.Value : -77, value) << "failure must leave the output alone: " << c.Text;
    }
}

struct AddressCase {
    const char* Text;
    bool Accepted;
    uint32_t Address;
};

TEST(ParseAddress, AcceptsOnlyStrictDottedQuads) {
    const AddressCase cases[] = {
        {"192.168.0.1", true, 0xC0A80001u}, // the first group in the most significant byte
        {"0.0.0.0", true, 0},
        {"255.255.255.255", true, 0xFFFFFFFFu},
        {"010.0.0.1", true, MakeIPv4(10, 0, 0, 1)},
        {"192.168.0.256", false, 0},
        {"192.168.0.0001", false, 0},
        {"192.168.0", false, 0},
        {" 192.168.0.1", false, 0},
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

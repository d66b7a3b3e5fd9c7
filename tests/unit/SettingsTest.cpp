// The application settings: the INI rules the program relies on (natively our reader, under Wine
// GetPrivateProfileStringA: both must pass the same table), the "%ld" number rules and CAppSettings.
#include "persistence/Settings.h"
#include "persistence/Profile.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ProfileFile, FollowsTheWindowsReadersRules) {
    const std::string longValue(300, 'v');
    const struct {
        const char* Title;
        std::string Content;
        const char* Key;
        std::string Expected; // "DEF": the default came back
    } cases[] = {
        {"names without case", "[settings]\r\nbaudratechange=1\r\n", "BaudRateChange", "1"},
        {"blanks around names and value", "  [ Settings ]\r\n  BaudRateChange  =\t 7 \t\r\n",
         "BaudRateChange", "7"},
        {"comment line", "[Settings]\r\n  ;BaudRateChange=1\r\n", "BaudRateChange", "DEF"},
        {"';' inside a value is kept", "[Settings]\r\nBaudRateChange=1 ; c\r\n", "BaudRateChange", "1 ; c"},
        {"double quotes removed", "[Settings]\r\nk=\"q v\"\r\n", "k", "q v"},
        {"single quotes removed", "[Settings]\r\nk='q v'\r\n", "k", "q v"},
        {"unmatched quote kept", "[Settings]\r\nk=\"q v\r\n", "k", "\"q v"},
        {"empty quotes", "[Settings]\r\nk=\"\"\r\n", "k", ""},
        {"empty value is no default", "[Settings]\r\nk=\r\n", "k", ""},
        {"no '=' is no value", "[Settings]\r\nBaudRateChange\r\n", "BaudRateChange", "DEF"},
        {"later '=' belong to the value", "[Settings]\r\nk=a=b\r\n", "k", "a=b"},
        {"first of two keys", "[Settings]\r\nk=1\r\nk=2\r\n", "k", "1"},
        {"first of two sections", "[Settings]\r\nx=1\r\n[Settings]\r\nk=2\r\n", "k", "DEF"},
        {"key before any section", "k=1\r\n[Settings]\r\n", "k", "DEF"},
        {"other section", "[Other]\r\nk=1\r\n[Settings]\r\n", "k", "DEF"},
        {"LF line ends", "[Settings]\nk=3\n", "k", "3"},
        {"CR line ends", "[Settings]\rk=3\r", "k", "3"},
        {"no closing bracket", "[Settings\r\nk=4\r\n", "k", "DEF"},
        {"text after the bracket", "[Settings] ; main\r\nk=4\r\n", "k", "4"},
        {"byte order mark", "\xEF\xBB\xBF[Settings]\r\nk=6\r\n", "k", "6"},
        {"'#' is no comment", "[Settings]\r\n#k=1\r\nk=2\r\n", "k", "2"},
        {"value cut at 255 characters", "[Settings]\r\nk=" + longValue, "k", longValue.substr(0, 255)},
    };
    for (const auto& c : cases) {
        CScratchDir dir;
        char value[SETTINGS_VALUE_SIZE];
        ReadProfileFile(dir.Write("a.ini", c.Content).c_str(), "Settings", c.Key, "DEF", value, sizeof value);
        EXPECT_EQ(c.Expected, value) << c.Title;
    }
}

TEST(ParseSettingsNumber, ReadsAsPercentLd) {
    const struct {
        const char* Text;
        bool Ok;
        int32_t Number;
    } cases[] = {
        {" \t+7", true, 7}, {"2147483647", true, 2147483647}, {"-2147483648", true, INT32_MIN},
        {"- 5", false, 0},  {"2147483648", false, 0},         {"-2147483649", false, 0},
    };
    for (const auto& c : cases) {
        int32_t number = 12345;
        EXPECT_EQ(c.Ok, ParseSettingsNumber(c.Text, &number)) << '"' << c.Text << '"';
        EXPECT_EQ(c.Ok ? c.Number : 12345, number) << '"' << c.Text << '"';
    }
}

// The number rules are ParseSettingsNumber's; here the file, its section, a number that ends early and a
// value that is no number.
TEST(CAppSettings, BaudRateChangeFromTheFileOrTheCurrentValue) {
    const struct {
        const char* Content; // null: no file
        int32_t Before;
        int32_t After;
    } cases[] = {
        {nullptr, 0, 0},
        {"[Settings]\r\nBaudRateChange=1\r\n", 0, 1},
        {"[Settings]\r\nBaudRateChange=0x10\r\n", 5, 0},
        {"[Settings]\r\nBaudRateChange=yes\r\n", 5, 5},
    };
    for (const auto& c : cases) {
        CScratchDir dir;
        CAppSettings settings;
        EXPECT_EQ(0, settings.BaudRateChange);
        settings.FileName = c.Content != nullptr ? dir.Write("a.ini", c.Content) : dir.File("missing.ini");
        settings.BaudRateChange = c.Before;
        settings.Load();
        EXPECT_EQ(c.After, settings.BaudRateChange) << (c.Content ? c.Content : "no file");
    }
}

} // namespace

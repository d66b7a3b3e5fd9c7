// The setup program's portable logic: destination names, program paths and caption, the form's
// validation, the outcome messages and the destination rows' control ids.
#include "core/NameCodec.h"
#include "core/ParamFile.h"
#include "devicelink/ParamTransfer.h"
#include "ui/logic/AppPath.h"
#include "ui/logic/ControlIds.h"
#include "ui/logic/SetupForm.h"
#include "ui/logic/UserMessages.h"
#include "ui/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>

namespace {

// Shift-JIS, whose trail bytes include 0x5C, the backslash: 0x95 0x5C is one character.
bool ShiftJisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::string Repeat(const char* text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

std::string Encoded(const std::string& text, LeadByteTest codePage = NoLeadBytes) {
    char digits[TARGET_NAME_SIZE];
    std::memset(digits, 'X', sizeof digits);
    EncodeName(text.c_str(), digits, codePage);
    return digits;
}

TEST(EncodeName, WritesTwoUppercaseDigitsPerByteOfTheFirst32WholeCharacters) {
    const struct {
        std::string Text;
        LeadByteTest CodePage;
        std::string Digits;
    } cases[] = {
        {"", NoLeadBytes, ""},
        {"AB", NoLeadBytes, "4142"},
        {"a z", NoLeadBytes, "61207A"},
        {"\x95\x5C", ShiftJisLeadByte, "955C"}, // a double-byte character, byte by byte
        {"\x7F\xFF", NoLeadBytes, "7FFF"},
        {std::string(40, 'Z'), NoLeadBytes, Repeat("5A", 32)},
        {Repeat("\x82\xA0", 20), ShiftJisLeadByte, Repeat("82A0", 16)},
        // 33 bytes: the last character would be cut in two, so it goes whole.
        {"a" + Repeat("\x95\x5C", 16), ShiftJisLeadByte, "61" + Repeat("955C", 15)},
        {"a" + Repeat("\x95\x5C", 16), NoLeadBytes, "61" + Repeat("955C", 15) + "95"},
        {"\x95", ShiftJisLeadByte, "95"}, // a lead byte without its trail is a character of its own
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Digits, Encoded(c.Text, c.CodePage)) << c.Text;
    }
}

TEST(FitNameText, TakesBackWholeCharactersBeforeTheCaretUntil32BytesRemain) {
    const std::string a16(16, 'a');
    const struct {
        const char* Input;
        std::string Text;
        std::size_t Caret;
        std::string Fitted;
        std::size_t FittedCaret;
    } cases[] = {
        {"fits", "abc", 1, "abc", 1},
        {"typed at the end", std::string(33, 'a'), 33, std::string(32, 'a'), 32},
        {"typed in the middle", a16 + "X" + a16, 17, a16 + a16, 16},
        {"pasted in the middle", "x" + std::string(40, 'p') + "y", 41, "x" + std::string(30, 'p') + "y", 31},
        {"double-byte at the end", Repeat("\x82\xA0", 17), 34, Repeat("\x82\xA0", 16), 32},
        {"would cut a character", "a" + Repeat("\x95\x5C", 16), 33, "a" + Repeat("\x95\x5C", 15), 31},
        {"set whole, caret at the start", std::string(40, 'a'), 0, std::string(32, 'a'), 0},
        {"double-byte set whole", Repeat("\x95\x5C", 17), 0, Repeat("\x95\x5C", 16), 0},
    };
    for (const auto& c : cases) {
        std::size_t caret = c.Caret;
        EXPECT_EQ(c.Fitted, FitNameText(c.Text, &caret, ShiftJisLeadByte)) << c.Input;
        EXPECT_EQ(c.FittedCaret, caret) << c.Input;
    }
}

TEST(DecodeName, ReadsPairsAndMarksBadOnesWithAFullStop) {
    const struct {
        const char* Digits;
        std::string Text;
    } cases[] = {
        {"", ""},
        {"4142", "AB"},
        {"4a4B", "JK"}, // either case
        {"4G42", ".B"}, // not a hexadecimal pair
        {"  41", ".A"}, // blanks are no digits
        {"414", "A"},   // a lone last digit is dropped
        {"4", ""},
        {"41004243", "A"}, // a zero byte ends the name
        {"955C", "\x95\x5C"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Text, DecodeName(c.Digits)) << c.Digits;
    }
}

TEST(DecodeName, StopsAfter32Bytes) {
    EXPECT_EQ(std::string(32, 'A'), DecodeName(Repeat("41", 35).c_str()));
}

TEST(NameCodec, EveryNonZeroByteSurvivesTheRoundTrip) {
    for (int byte = 1; byte < 256; ++byte) {
        const std::string text(2, static_cast<char>(byte));
        EXPECT_EQ(text, DecodeName(Encoded(text).c_str())) << byte;
    }
}

TEST(ModuleDirectory, CutsAtTheLastBackslashThatIsNoTrailByte) {
    const struct {
        const char* Path;
        LeadByteTest CodePage;
        const char* Directory;
    } cases[] = {
        {"C:\\Program Files\\ZRV\\ZRVLinkSetup.exe", NoLeadBytes, "C:\\Program Files\\ZRV"},
        {"C:\\ZRVLinkSetup.exe", NoLeadBytes, "C:"}, // the root of a drive
        {"ZRVLinkSetup.exe", NoLeadBytes, "ZRVLinkSetup.exe"},
        {"C:\\tools\\\x95\x5C.exe", ShiftJisLeadByte, "C:\\tools"},
        {"C:\\\x95\x5C\\ZRVLinkSetup.exe", ShiftJisLeadByte, "C:\\\x95\x5C"},
        {"C:\\tools\\\x95\x5C.exe", NoLeadBytes, "C:\\tools\\\x95"}, // what a byte-wise search gets wrong
        {"C:\\tools\\x\x95", ShiftJisLeadByte, "C:\\tools"},         // a lead byte cut off at the end
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Directory, ModuleDirectory(c.Path, c.CodePage)) << c.Path;
    }
}

TEST(IniPathFor, KeepsTheSettingsNameWhateverTheProgramIsCalled) {
    EXPECT_EQ("C:\\ZRVLinkSetup.ini", IniPathFor("C:\\ZRVLinkSetup.exe", NoLeadBytes));
    EXPECT_EQ("D:\\kit\\ZRVLinkSetup.ini", IniPathFor("D:\\kit\\Renamed.exe", NoLeadBytes));
    EXPECT_EQ("C:\\\x95\x5C\\ZRVLinkSetup.ini", IniPathFor("C:\\\x95\x5C\\x.exe", ShiftJisLeadByte));
}

TEST(ProgramNameOf, IsTheFileNameWithoutItsExtension) {
    const struct {
        const char* Path;
        const char* Name;
    } cases[] = {
        {"C:\\kit\\ZRVLinkSetup.exe", "ZRVLinkSetup"},
        {"C:\\kit\\Renamed.exe", "Renamed"},
        {"C:\\kit.d\\NoExtension", "NoExtension"},
        {"C:\\kit\\a.b.exe", "a.b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Name, ProgramNameOf(c.Path, NoLeadBytes)) << c.Path;
    }
}

TEST(FormatCaption, NamesTheFileWithoutDriveOrDirectories) {
    const struct {
        const char* Path;
        LeadByteTest CodePage;
        const char* Caption;
    } cases[] = {
        {"", NoLeadBytes, "ZRV-Link Setup"},
        {"C:\\data\\office.dat", NoLeadBytes, "ZRV-Link Setup - [office.dat]"},
        {"office.dat", NoLeadBytes, "ZRV-Link Setup - [office.dat]"},
        {"C:office.dat", NoLeadBytes, "ZRV-Link Setup - [office.dat]"},
        {"\\\\server\\share\\a.b.dat", NoLeadBytes, "ZRV-Link Setup - [a.b.dat]"},
        {"C:/data/lab.dat", NoLeadBytes, "ZRV-Link Setup - [lab.dat]"},
        {"C:\\data\\noext", NoLeadBytes, "ZRV-Link Setup - [noext]"},
        {"C:\\data\\\x95\x5C.dat", ShiftJisLeadByte, "ZRV-Link Setup - [\x95\x5C.dat]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Caption, FormatCaption("ZRV-Link Setup", c.Path, c.CodePage)) << c.Path;
    }
}

FormInput ValidForm() {
    FormInput input{};
    input.HasBaudRate = true;
    input.BaudRate = 57600;
    input.IPAddress = {0xC0A80A14, 4};
    input.SubnetMask = {0xFFFFFF00, 4};
    input.Gateway = {0, 4}; // 0.0.0.0 is valid
    for (int i = 0; i < TARGET_COUNT; ++i) {
        input.Targets[i] = {i % 2, "", {static_cast<uint32_t>(0x0A000000 + i), 4}};
    }
    input.Targets[2].Name = " \tOffice 3 \r\n";
    return input;
}

TEST(StoreForm, TakesAValidFormWholeWithTrimmedEncodedNames) {
    FormInput input = ValidForm();
    CParamFile file;
    const FormError error = StoreForm(input, file.GetParam(), NoLeadBytes);

    EXPECT_EQ(0, error.MessageId);
    const ParamSet& set = *file.GetParam();
    EXPECT_EQ(57600, set.BaudRate);
    EXPECT_EQ(0xC0A80A14u, set.IPAddress);
    EXPECT_EQ(0xFFFFFF00u, set.SubnetMask);
    EXPECT_EQ(0u, set.Gateway);
    for (int i = 0; i < TARGET_COUNT; ++i) {
        EXPECT_EQ(i % 2, set.Target[i].Enable) << i;
        EXPECT_EQ(static_cast<uint32_t>(0x0A000000 + i), set.Target[i].Address) << i;
    }
    EXPECT_STREQ("4F66666963652033", set.Target[2].Name);
    EXPECT_EQ("Office 3", input.Targets[2].Name);
    EXPECT_STREQ("", set.Target[3].Name);
}

TEST(StoreForm, StopsAtTheFirstInvalidValueAfterStoringThoseBefore) {
    const struct {
        const char* Fault;
        std::function<void(FormInput&)> Break;
        int MessageId;
        int Destination;
    } cases[] = {
        {"no baud rate selected", [](FormInput& f) { f.HasBaudRate = false; }, IDS_ERR_BAUDRATE, 0},
        {"address field empty", [](FormInput& f) { f.IPAddress.FilledFields = 3; }, IDS_ERR_IPADDRESS, 0},
        {"mask empty", [](FormInput& f) { f.SubnetMask.FilledFields = 0; }, IDS_ERR_SUBNETMASK, 0},
        {"gateway field empty", [](FormInput& f) { f.Gateway.FilledFields = 1; }, IDS_ERR_GATEWAY, 0},
        {"destination 7", [](FormInput& f) { f.Targets[6].Address.FilledFields = 3; }, IDS_ERR_TARGET_ADDRESS,
         7},
        {"destination 32", [](FormInput& f) { f.Targets[31].Address.FilledFields = 0; },
         IDS_ERR_TARGET_ADDRESS, 32},
        {"address before mask",
         [](FormInput& f) {
             f.SubnetMask.FilledFields = 0;
             f.IPAddress.FilledFields = 2;
         },
         IDS_ERR_IPADDRESS, 0},
    };
    for (const auto& c : cases) {
        FormInput input = ValidForm();
        c.Break(input);
        CParamFile file;
        ParamSet& set = *file.GetParam();
        set.SubnetMask = 0x12345678; // untouched unless the mask was reached
        set.Target[31].Enable = 7;

        const FormError error = StoreForm(input, &set, NoLeadBytes);

        EXPECT_EQ(c.MessageId, error.MessageId) << c.Fault;
        EXPECT_EQ(c.Destination, error.Destination) << c.Fault;
        EXPECT_EQ(c.MessageId == IDS_ERR_BAUDRATE ? 115200 : 57600, set.BaudRate) << c.Fault;
        const bool maskReached = c.MessageId != IDS_ERR_BAUDRATE && c.MessageId != IDS_ERR_IPADDRESS;
        EXPECT_EQ(maskReached ? 0xFFFFFF00u : 0x12345678u, set.SubnetMask) << c.Fault;
        EXPECT_EQ(c.Destination == 32 ? 1 : 7, set.Target[31].Enable) << c.Fault;
    }
}

TEST(StoreForm, CutsLongNamesTo32BytesOfWholeCharacters) {
    FormInput input = ValidForm();
    input.Targets[0].Name = std::string(40, 'A');
    input.Targets[1].Name = "a" + Repeat("\x95\x5C", 20);
    CParamFile file;
    ASSERT_EQ(0, StoreForm(input, file.GetParam(), ShiftJisLeadByte).MessageId);
    EXPECT_EQ(64u, std::strlen(file.GetParam()->Target[0].Name));
    EXPECT_EQ("61" + Repeat("955C", 15), file.GetParam()->Target[1].Name);
}

TEST(FormatNumberMessage, ReplacesTheFirstPlaceholderOnly) {
    const struct {
        const char* Template;
        int Number;
        const char* Text;
    } cases[] = {
        {"WARNING: Destination IP Address %d is invalid", 7, "WARNING: Destination IP Address 7 is invalid"},
        {"WARNING: Destination IP Address %d is invalid", 32,
         "WARNING: Destination IP Address 32 is invalid"},
        {"no placeholder", 7, "no placeholder"},
        {"%s and %n stay text: %d", 1, "%s and %n stay text: 1"},
        {"%d%d", 5, "5%d"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Text, FormatNumberMessage(c.Template, c.Number)) << c.Template;
    }
}

TEST(UserMessages, MapEachOutcomeToItsString) {
    const struct {
        int Got;
        int Want;
    } cases[] = {
        {TransferErrorMessage(PT_ERR_HARDWARE), IDS_ERR_HARDWARE},
        {TransferErrorMessage(PT_ERR_RESOURCE), IDS_ERR_RESOURCE},
        {TransferErrorMessage(PT_ERR_COMM), IDS_ERR_COMM},
        {TransferErrorMessage(PT_ERR_PORT), IDS_ERR_COMM},
        {TransferErrorMessage(PT_OK), IDS_ERR_COMM},
        {TransferErrorMessage(99), IDS_ERR_COMM},
        {LoadErrorMessage(FILE_ERROR_CONTENT), IDS_ERR_PARAMETER},
        {LoadErrorMessage(FILE_ERROR_OPEN), IDS_ERR_FILE_LOAD},
        {LoadErrorMessage(FILE_ERROR_WRITE), IDS_ERR_FILE_LOAD},
        {TransferStatusMessage(1), IDS_NOW_READING},
        {TransferStatusMessage(0), IDS_NOW_WRITING},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].Want, cases[i].Got) << "case " << i;
    }
}

TEST(TargetRowIds, FollowTheTemplateAndNeverCollide) {
    const struct {
        int Row;
        TargetRowIds Ids;
    } cases[] = {
        {0, {1003, 1005, 1004}}, {1, {1006, 1010, 1011}}, {2, {1012, 1013, 1014}}, {31, {1099, 1100, 1101}}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.Ids.Check, TARGET_ROW_IDS.Rows[c.Row].Check) << c.Row;
        EXPECT_EQ(c.Ids.Name, TARGET_ROW_IDS.Rows[c.Row].Name) << c.Row;
        EXPECT_EQ(c.Ids.Address, TARGET_ROW_IDS.Rows[c.Row].Address) << c.Row;
    }
    std::set<int> ids = {IDC_IPADDRESS,   IDC_SUBNETMASK, IDC_GATEWAY,     IDC_BAUDRATE,
                         IDC_PARITY,      IDC_STOPBITS,   IDC_LOAD_SETUP,  IDC_MODEL,
                         IDC_READ_DEVICE, IDC_SAVE_SETUP, IDC_WRITE_DEVICE};
    for (const TargetRowIds& row : TARGET_ROW_IDS.Rows) {
        EXPECT_TRUE(ids.insert(row.Check).second) << row.Check;
        EXPECT_TRUE(ids.insert(row.Name).second) << row.Name;
        EXPECT_TRUE(ids.insert(row.Address).second) << row.Address;
    }
}

} // namespace

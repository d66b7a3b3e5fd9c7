// The setup program's portable logic where its end-to-end tests do not reach: names cut at the caret or
// at whole characters, stored names that are damaged, program paths in a double-byte code page, and the
// order in which the form is validated and stored.
#include "core/NameCodec.h"
#include "persistence/ParamFile.h"
#include "ui/logic/AppPath.h"
#include "ui/logic/SetupForm.h"
#include "ui/logic/UserMessages.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

// Shift-JIS, whose trail bytes include 0x5C, the backslash: 0x95 0x5C is one character.
bool ShiftJisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::string Encoded(const std::string& text, LeadByteTest codePage = NoLeadBytes) {
    char digits[TARGET_NAME_SIZE];
    std::memset(digits, 'X', sizeof digits);
    EncodeName(text.c_str(), digits, codePage);
    return digits;
}

TEST(NameCodec, KeepsThe32FirstBytesOfWholeCharactersAndEveryNonZeroByteSurvivesTheRoundTrip) {
    EXPECT_EQ(Repeat("5A", 32), Encoded(std::string(40, 'Z')));
    // 33 bytes: the last character would be cut in two, so it goes whole.
    EXPECT_EQ("61" + Repeat("955C", 15), Encoded("a" + Repeat("\x95\x5C", 16), ShiftJisLeadByte));
    EXPECT_EQ("95", Encoded("\x95", ShiftJisLeadByte)); // a lead byte without its trail is a character
    for (int byte = 1; byte < 256; ++byte) {
        const std::string text(2, static_cast<char>(byte));
        EXPECT_EQ(text, DecodeName(Encoded(text).c_str())) << byte;
    }
}

TEST(DecodeName, MarksBadPairsWithAFullStopAndStopsAtZeroOr32Bytes) {
    EXPECT_EQ(".B", DecodeName("4G42")); // not a hexadecimal pair
    EXPECT_EQ("A", DecodeName("414"));   // a lone last digit is dropped
    EXPECT_EQ("", DecodeName("4"));
    EXPECT_EQ("A", DecodeName("41004243"));
    EXPECT_EQ(std::string(32, 'A'), DecodeName(Repeat("41", 35).c_str()));
}

// Typed or pasted text ends at the caret: what is over goes from there. Double-byte text typed at the end
// shows in the dialog tests in a Japanese code page.
TEST(FitNameText, TakesBackWhatIsOverBeforeTheCaret) {
    const std::string a16(16, 'a');
    std::size_t caret = 17; // typed in the middle
    EXPECT_EQ(a16 + a16, FitNameText(a16 + "X" + a16, &caret, ShiftJisLeadByte));
    EXPECT_EQ(16u, caret);
    caret = 41; // pasted in the middle
    const std::string pasted = "x" + std::string(40, 'p') + "y";
    EXPECT_EQ("x" + std::string(30, 'p') + "y", FitNameText(pasted, &caret, ShiftJisLeadByte));
    EXPECT_EQ(31u, caret);
}

// A trail byte may be 0x5C: the paths are cut at the last backslash that is one.
TEST(AppPath, SplitsAtSeparatorsThatAreNoTrailBytes) {
    const struct {
        const char* Path;
        LeadByteTest CodePage;
        const char* Directory;
        const char* FileName;
        const char* ProgramName;
    } cases[] = {
        {"ZRVLinkSetup.exe", NoLeadBytes, "ZRVLinkSetup.exe", "ZRVLinkSetup.exe", "ZRVLinkSetup"},
        {"C:\\kit.d\\NoExtension", NoLeadBytes, "C:\\kit.d", "NoExtension", "NoExtension"},
        {"\\\\server\\share\\a.b.exe", NoLeadBytes, "\\\\server\\share", "a.b.exe", "a.b"},
        {"C:/data/lab.dat", NoLeadBytes, "C:/data/lab.dat", "lab.dat", "lab"},
        {"C:office.dat", NoLeadBytes, "C:office.dat", "office.dat", "office"},
        {"C:\\tools\\\x95\x5C.exe", ShiftJisLeadByte, "C:\\tools", "\x95\x5C.exe", "\x95\x5C"},
        {"C:\\\x95\x5C\\Renamed.exe", ShiftJisLeadByte, "C:\\\x95\x5C", "Renamed.exe", "Renamed"},
        {"C:\\tools\\x\x95", ShiftJisLeadByte, "C:\\tools", "x\x95", "x\x95"}, // a lead byte cut off
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Directory, ModuleDirectory(c.Path, c.CodePage)) << c.Path;
        EXPECT_EQ(c.FileName, FileNameOf(c.Path, c.CodePage)) << c.Path;
        EXPECT_EQ(c.ProgramName, ProgramNameOf(c.Path, c.CodePage)) << c.Path;
    }
}

FormInput ValidForm() {
    FormInput input{};
    input.HasBaudRate = true;
    input.BaudRate = 57600;
    input.IPAddress = {0xC0A80A14, 4};
    input.SubnetMask = {0xFFFFFF00, 4};
    input.Gateway = {0, 4};
    for (int i = 0; i < TARGET_COUNT; ++i) {
        input.Targets[i] = {i % 2, "", {static_cast<uint32_t>(0x0A000000 + i), 4}};
    }
    return input;
}

TEST(StoreForm, StopsAtTheFirstInvalidValueAfterStoringThoseBefore) {
    const struct {
        const char* Fault;
        std::function<void(FormInput&)> Break;
        UiMessage Message;
        int Destination;
    } cases[] = {
        {"no baud rate selected", [](FormInput& f) { f.HasBaudRate = false; }, UI_MSG_ERR_BAUDRATE, 0},
        {"address field empty", [](FormInput& f) { f.IPAddress.FilledFields = 3; }, UI_MSG_ERR_IPADDRESS, 0},
        {"mask empty", [](FormInput& f) { f.SubnetMask.FilledFields = 0; }, UI_MSG_ERR_SUBNETMASK, 0},
        {"gateway field empty", [](FormInput& f) { f.Gateway.FilledFields = 1; }, UI_MSG_ERR_GATEWAY, 0},
        {"destination 32", [](FormInput& f) { f.Targets[31].Address.FilledFields = 0; },
         UI_MSG_ERR_TARGET_ADDRESS, 32},
        {"address before mask",
         [](FormInput& f) {
             f.SubnetMask.FilledFields = 0;
             f.IPAddress.FilledFields = 2;
         },
         UI_MSG_ERR_IPADDRESS, 0},
    };
    for (const auto& c : cases) {
        FormInput input = ValidForm();
        c.Break(input);
        CParamFile file;
        ParamSet& set = *file.GetParam();
        set.SubnetMask = 0x12345678; // untouched unless the mask was reached
        set.Target[31].Enable = 7;

        const FormError error = StoreForm(input, &set, NoLeadBytes);

        EXPECT_EQ(c.Message, error.Message) << c.Fault;
        EXPECT_EQ(c.Destination, error.Destination) << c.Fault;
        EXPECT_EQ(c.Message == UI_MSG_ERR_BAUDRATE ? 115200 : 57600, set.BaudRate) << c.Fault;
        const bool maskReached = c.Message != UI_MSG_ERR_BAUDRATE && c.Message != UI_MSG_ERR_IPADDRESS;
        EXPECT_EQ(maskReached ? 0xFFFFFF00u : 0x12345678u, set.SubnetMask) << c.Fault;
        EXPECT_EQ(c.Destination == 32 ? 1 : 7, set.Target[31].Enable) << c.Fault;
    }
}

TEST(StoreForm, NamesLoseEveryBlankCharacterAtEitherEnd) {
    FormInput input = ValidForm();
    input.Targets[2].Name = " \tOffice 3 \r\n\v\f";
    input.Targets[3].Name = " \t ";
    CParamFile file;
    ASSERT_EQ(UI_MSG_NONE, StoreForm(input, file.GetParam(), NoLeadBytes).Message);
    EXPECT_STREQ("4F66666963652033", file.GetParam()->Target[2].Name);
    EXPECT_STREQ("", file.GetParam()->Target[3].Name);
}

} // namespace

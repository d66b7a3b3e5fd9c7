// The record's construction defaults and the key table that supplies them.
#include "core/ParamFile.h"
#include "core/ParamKeys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

TEST(CParamFile, ConstructionGivesTheKeyTableDefaults) {
    CParamFile file;
    const ParamSet& set = *file.GetParam();
    EXPECT_EQ(115200, set.BaudRate);
    EXPECT_EQ(0u, set.IPAddress);
    EXPECT_EQ(0u, set.SubnetMask);
    EXPECT_EQ(0u, set.Gateway);
    for (int i = 0; i < TARGET_COUNT; ++i) {
        EXPECT_EQ(0, set.Target[i].Enable) << i;
        EXPECT_EQ(0u, set.Target[i].Address) << i;
        EXPECT_EQ(std::string(TARGET_NAME_SIZE, '\0'), std::string(set.Target[i].Name, TARGET_NAME_SIZE))
            << i;
    }
    EXPECT_EQ(FILE_ERROR_NONE, file.FileError);
}

TEST(CParamFile, RecordCopyLeavesTheTargetsFileErrorAlone) {
    CParamFile source;
    CParamFile target;
    source.GetParam()->BaudRate = 9600;
    std::strcpy(source.GetParam()->Target[31].Name, "4142");
    source.FileError = FILE_ERROR_OPEN;
    target.FileError = FILE_ERROR_CONTENT;

    *target.GetParam() = *source.GetParam();

    EXPECT_EQ(0, std::memcmp(source.GetParam(), target.GetParam(), sizeof(ParamSet)));
    EXPECT_EQ(FILE_ERROR_CONTENT, target.FileError);
}

TEST(ParamKeys, TableHoldsTheFourDeviceWideValuesInFileOrder) {
    const struct {
        const char* Name;
        std::size_t Offset;
        int Kind;
    } expected[] = {
        {"BaudRate", offsetof(ParamSet, BaudRate), VALUE_KIND_LONG},
        {"IPAddress", offsetof(ParamSet, IPAddress), VALUE_KIND_ADDRESS},
        {"SubnetMask", offsetof(ParamSet, SubnetMask), VALUE_KIND_ADDRESS},
        {"Gateway", offsetof(ParamSet, Gateway), VALUE_KIND_ADDRESS},
    };
    ASSERT_EQ(4, PARAM_KEY_COUNT);
    for (int i = 0; i < PARAM_KEY_COUNT; ++i) {
        EXPECT_STREQ(expected[i].Name, PARAM_KEYS[i].Name);
        EXPECT_EQ(expected[i].Offset, PARAM_KEYS[i].FieldOffset) << PARAM_KEYS[i].Name;
        EXPECT_EQ(expected[i].Kind, PARAM_KEYS[i].Kind) << PARAM_KEYS[i].Name;
        EXPECT_EQ(nullptr, PARAM_KEYS[i].DefaultText) << PARAM_KEYS[i].Name;
    }
}

TEST(ParamKeys, NumberAccessReachesExactlyTheRowsField) {
    for (int i = 0; i < PARAM_KEY_COUNT; ++i) {
        const ParamKey& key = PARAM_KEYS[i];
        ParamSet set;
        std::memset(&set, 0, sizeof set);
        SetParamKeyNumber(&set, key, 0xC0A80001);
        // Addresses read back unsigned, the other numbers as signed 32-bit values.
        const int64_t expected = key.Kind == VALUE_KIND_ADDRESS ? int64_t{0xC0A80001} : int64_t{-1062731775};
        EXPECT_EQ(expected, GetParamKeyNumber(set, key)) << key.Name;
        // Only the row's own four bytes changed.
        ParamSet untouched;
        std::memset(&untouched, 0, sizeof untouched);
        std::memcpy(reinterpret_cast<char*>(&untouched) + key.FieldOffset,
                    reinterpret_cast<const char*>(&set) + key.FieldOffset, 4);
        EXPECT_EQ(0, std::memcmp(&set, &untouched, sizeof set)) << key.Name;
    }
}

} // namespace

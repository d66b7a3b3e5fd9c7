// The record's construction defaults and the key table's access to the record's fields.
#include "core/ParamFile.h"
#include "core/ParamKeys.h"

#include "SampleParams.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(CParamFile, ConstructionGivesZerosBut115200Baud) {
    ParamSet expected;
    std::memset(&expected, 0, sizeof expected); // the names' padding included
    expected.BaudRate = 115200;
    CParamFile file;
    EXPECT_TRUE(SameRecord(expected, *file.GetParam()));
    EXPECT_EQ(FILE_ERROR_NONE, file.FileError);
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
        EXPECT_TRUE(SameRecord(untouched, set)) << key.Name;
    }
}

} // namespace

// Sample configuration records for tests.
#include "SampleParams.h"

#include "core/IPv4.h"
#include "persistence/ParamFile.h"

#include <cstdio>
#include <cstring>

ParamSet SampleParamSet() {
    ParamSet set = DefaultParamSet();
    set.BaudRate = 57600;
    set.IPAddress = MakeIPv4(192, 168, 0, 10);
    set.SubnetMask = MakeIPv4(255, 255, 255, 0);
    set.Gateway = MakeIPv4(192, 168, 0, 1);
    for (int i = 0; i < TARGET_COUNT; ++i) {
        set.Target[i].Enable = i % 3 == 0 ? 1 : 0;
        set.Target[i].Address = MakeIPv4(10, 0, 0, static_cast<unsigned>(i));
        std::snprintf(set.Target[i].Name, TARGET_NAME_SIZE, "%s", i % 2 == 0 ? "5A5256" : "");
    }
    return set;
}

ParamSet DefaultParamSet() {
    CParamFile file;
    return *file.GetParam();
}

bool SameRecord(const ParamSet& a, const ParamSet& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

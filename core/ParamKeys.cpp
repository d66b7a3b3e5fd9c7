// The setup file's key table and the field access that its rows drive; portable.
#include "core/ParamKeys.h"

#include <cstdio>
#include <cstring>

const ParamKey PARAM_KEYS[] = {
    {"BaudRate", offsetof(ParamSet, BaudRate), VALUE_KIND_LONG, 115200, nullptr, 0},
    {"IPAddress", offsetof(ParamSet, IPAddress), VALUE_KIND_ADDRESS, 0, nullptr, 0},
    {"SubnetMask", offsetof(ParamSet, SubnetMask), VALUE_KIND_ADDRESS, 0, nullptr, 0},
    {"Gateway", offsetof(ParamSet, Gateway), VALUE_KIND_ADDRESS, 0, nullptr, 0},
};
const int PARAM_KEY_COUNT = static_cast<int>(sizeof(PARAM_KEYS) / sizeof(PARAM_KEYS[0]));

static unsigned char* FieldOf(ParamSet* set, const ParamKey& key) {
    return reinterpret_cast<unsigned char*>(set) + key.FieldOffset;
}

static const unsigned char* FieldOf(const ParamSet& set, const ParamKey& key) {
    return reinterpret_cast<const unsigned char*>(&set) + key.FieldOffset;
}

int64_t GetParamKeyNumber(const ParamSet& set, const ParamKey& key) {
    if (key.Kind == VALUE_KIND_ADDRESS) {
        uint32_t value;
        std::memcpy(&value, FieldOf(set, key), sizeof value);
        return value;
    }
    int32_t value;
    std::memcpy(&value, FieldOf(set, key), sizeof value);
    return value;
}

void SetParamKeyNumber(ParamSet* set, const ParamKey& key, int64_t value) {
    if (key.Kind == VALUE_KIND_ADDRESS) {
        uint32_t field = static_cast<uint32_t>(value);
        std::memcpy(FieldOf(set, key), &field, sizeof field);
        return;
    }
    int32_t field = static_cast<int32_t>(value);
    std::memcpy(FieldOf(set, key), &field, sizeof field);
}

char* GetParamKeyText(ParamSet* set, const ParamKey& key) {
    return reinterpret_cast<char*>(FieldOf(set, key));
}

const char* GetParamKeyText(const ParamSet& set, const ParamKey& key) {
    return reinterpret_cast<const char*>(FieldOf(set, key));
}

void ApplyParamKeyDefault(ParamSet* set, const ParamKey& key) {
    if (key.Kind != VALUE_KIND_TEXT) {
        SetParamKeyNumber(set, key, key.DefaultNumber);
        return;
    }
    if (key.TextSize > 0) {
        std::snprintf(GetParamKeyText(set, key), key.TextSize, "%s", key.DefaultText ? key.DefaultText : "");
    }
}

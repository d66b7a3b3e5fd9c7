// The setup file's key table: one row per device-wide value, with its field, kind and default; portable.
// The record's construction defaults, and the setup file's loading and saving, all read this table.
#pragma once

#include "core/ParamSet.h"

#include <cstddef>
#include <cstdint>

enum ValueKind : int {
    VALUE_KIND_INTEGER = 1,
    VALUE_KIND_TEXT = 2,
    VALUE_KIND_ADDRESS = 3,
    VALUE_KIND_LONG = 4,
};

struct ParamKey {
    const char* Name;        // key in the file, compared without regard to ASCII case
    std::size_t FieldOffset; // of the field in ParamSet
    int Kind;                // ValueKind; any other value is handled as VALUE_KIND_INTEGER
    long DefaultNumber;
    const char* DefaultText; // text kinds only
    std::size_t TextSize;    // text kinds only: the field's size in bytes, NUL included
};

extern const ParamKey PARAM_KEYS[];
extern const int PARAM_KEY_COUNT;

// Numeric fields are 32 bits wide whatever the kind says; kind 3 fields are unsigned.
int64_t GetParamKeyNumber(const ParamSet& set, const ParamKey& key);
void SetParamKeyNumber(ParamSet* set, const ParamKey& key, int64_t value);

// The text field of a kind 2 row (TextSize bytes).
char* GetParamKeyText(ParamSet* set, const ParamKey& key);
const char* GetParamKeyText(const ParamSet& set, const ParamKey& key);

// Puts the row's default into its field.
void ApplyParamKeyDefault(ParamSet* set, const ParamKey& key);

// The device's complete configuration as one plain, fixed-size record; portable.
#pragma once

#include <cstdint>
#include <type_traits>

constexpr int TARGET_COUNT = 32;
constexpr int TARGET_NAME_SIZE = 65; // 64 hexadecimal digits (32 name bytes) and the NUL

// One destination of the device.
struct ParamTarget {
    int32_t Enable;              // 0 disabled, 1 enabled
    uint32_t Address;            // IPv4, first dotted group in bits 31..24
    char Name[TARGET_NAME_SIZE]; // hexadecimal digits, two per name byte; empty: no name
};

// The whole configuration; copied by value and cleared by zeroing every byte.
struct ParamSet {
    ParamTarget Target[TARGET_COUNT];
    int32_t BaudRate; // bits per second; 0: not set, the device keeps its own
    uint32_t IPAddress;
    uint32_t SubnetMask;
    uint32_t Gateway;
};

static_assert(std::is_trivially_copyable_v<ParamSet> && std::is_standard_layout_v<ParamSet>,
              "ParamSet must stay plain data");

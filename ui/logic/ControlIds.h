// Control ids of the main dialog's 32 destination rows, one (check, name, address) triple per row;
// portable, shared by the dialog's data exchange, its start-up and the tests that drive it.
#pragma once

#include "core/ParamSet.h"

struct TargetRowIds {
    int Check;
    int Name;
    int Address;
};

// Row i (0 to 31) shows destination i + 1. The first two rows break the pattern of the others.
constexpr TargetRowIds TargetRowIdsOf(int row) {
    if (row == 0) {
        return {1003, 1005, 1004};
    }
    if (row == 1) {
        return {1006, 1010, 1011};
    }
    const int n = row + 1;
    return {1003 + 3 * n, 1004 + 3 * n, 1005 + 3 * n};
}

struct TargetRowTable {
    TargetRowIds Rows[TARGET_COUNT];
};

constexpr TargetRowTable MakeTargetRowTable() {
    TargetRowTable table{};
    for (int i = 0; i < TARGET_COUNT; ++i) {
        table.Rows[i] = TargetRowIdsOf(i);
    }
    return table;
}

constexpr TargetRowTable TARGET_ROW_IDS = MakeTargetRowTable();

// Control ids of the main dialog's 32 destination rows, one (check, name, address) triple per row;
// portable, shared by the dialog template (which reads only the macros), the dialog's data exchange,
// its start-up and the tests that drive it.
#pragma once

// Destinations 1 and 2 break the pattern of the others.
#define IDC_TARGET1_CHECK 1003
#define IDC_TARGET1_NAME 1005
#define IDC_TARGET1_ADDRESS 1004
#define IDC_TARGET2_CHECK 1006
#define IDC_TARGET2_NAME 1010
#define IDC_TARGET2_ADDRESS 1011
// Destination N, 3 to 32.
#define IDC_TARGET_CHECK(N) (1003 + 3 * (N))
#define IDC_TARGET_NAME(N) (1004 + 3 * (N))
#define IDC_TARGET_ADDRESS(N) (1005 + 3 * (N))

#ifndef RC_INVOKED

#include "core/ParamSet.h"

struct TargetRowIds {
    int Check;
    int Name;
    int Address;
};

// Row i (0 to 31) shows destination i + 1. The first two rows break the pattern of the others.
constexpr TargetRowIds TargetRowIdsOf(int row) {
    if (row == 0) {
        return {IDC_TARGET1_CHECK, IDC_TARGET1_NAME, IDC_TARGET1_ADDRESS};
    }
    if (row == 1) {
        return {IDC_TARGET2_CHECK, IDC_TARGET2_NAME, IDC_TARGET2_ADDRESS};
    }
    const int n = row + 1;
    return {IDC_TARGET_CHECK(n), IDC_TARGET_NAME(n), IDC_TARGET_ADDRESS(n)};
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

#endif // RC_INVOKED

// The fuzz targets' one assertion: an input that breaks a rule aborts the run, and libFuzzer keeps it.
#pragma once

#include <cstdlib>

inline void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// A count with its noun in agreement ("1 unit", "0 units", "3 events"), for every line that tells how
// many; portable.
#pragma once

#include <cstddef>
#include <string>

// `count` and `noun`, the noun in the plural for any count but 1: `plural` when given, else noun + "s".
std::string Counted(std::size_t count, const char* noun, const char* plural = nullptr);

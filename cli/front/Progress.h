// The progress bar that zrvlink draws on a terminal while a transfer runs; portable.
#pragma once

#include <string>

constexpr int PROGRESS_BAR_WIDTH = 40;

// "\r[########                                ]  20%": back to the line's start, then the bar; percents
// outside 0..100 are drawn as the nearest end.
std::string FormatProgressBar(int percent);

// Blanks the bar's line and returns to its start, so that what follows begins on a clean line.
std::string ClearProgressBar();

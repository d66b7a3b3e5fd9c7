// The terminal progress bar's text; portable.
#include "cli/front/Progress.h"

#include <algorithm>
#include <cstdio>

std::string FormatProgressBar(int percent) {
    const int clamped = std::clamp(percent, 0, 100);
    const int filled = clamped * PROGRESS_BAR_WIDTH / 100;
    char number[8];
    std::snprintf(number, sizeof number, "%3d%%", clamped);
    return "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(PROGRESS_BAR_WIDTH - filled), ' ') + "] " + number;
}

std::string ClearProgressBar() {
    return "\r" + std::string(FormatProgressBar(0).size() - 1, ' ') + "\r";
}

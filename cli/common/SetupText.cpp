// Setup-file text of a configuration and the lines of a comparison; portable.
#include "cli/common/SetupText.h"

#include "persistence/SetupLines.h"

bool FormatSetupText(const ParamSet& set, std::string* text) {
    text->clear();
    char line[SETUP_LINE_SIZE];
    for (int i = 0; i < SetupLineCount(); ++i) {
        if (!FormatSetupLine(set, i, line, sizeof line)) {
            return false;
        }
        *text += line;
    }
    return true;
}

std::string FormatDifference(const SetupDifference& difference) {
    return difference.Key + ": " + difference.Left + " -> " + difference.Right;
}

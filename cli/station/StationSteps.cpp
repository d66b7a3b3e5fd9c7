// The station's children: command lines, exact configurations and step lines; portable.
#include "cli/station/StationSteps.h"

#include "core/TextParse.h"
#include "persistence/SetupLines.h"

#include <cstring>

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::vector<std::string> ChildArguments(const char* command, const std::string& port, bool trace) {
    std::vector<std::string> args = {command, "--port", port, "--result-line", "--report-steps"};
    if (trace) {
        args.emplace_back("--trace");
    }
    return args;
}

// Calls `each` with every line of `text` (without its LF, and without a CR before it) and whether the
// line was ended.
template <typename Each>
void ForEachLine(const std::string& text, Each each) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t newline = text.find('\n', start);
        const bool ended = newline != std::string::npos;
        std::string line = text.substr(start, (ended ? newline : text.size()) - start);
        if (ended && !line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        each(line, ended);
        start = ended ? newline + 1 : text.size();
    }
}

struct StageWord {
    PortStage Stage;
    const char* Word;
};
const StageWord STAGE_WORDS[] = {
    {PortStage::Reading, "reading"}, {PortStage::Writing, "writing"}, {PortStage::Verifying, "verifying"}};

// "progress: writing 45"; false for any other line.
bool ParseProgressLine(const std::string& line, ChildProgress* progress) {
    if (!StartsWith(line, STEP_PROGRESS)) {
        return false;
    }
    const std::string rest = line.substr(std::strlen(STEP_PROGRESS));
    const std::size_t blank = rest.find(' ');
    int32_t percent = 0;
    if (blank == std::string::npos ||
        !ParseDecimal(rest.c_str() + blank + 1, rest.size() - blank - 1, &percent) || percent > 100) {
        return false;
    }
    for (const StageWord& row : STAGE_WORDS) {
        if (rest.compare(0, blank, row.Word) == 0) {
            *progress = ChildProgress{row.Stage, percent};
            return true;
        }
    }
    return false;
}

// One "KEY=VALUE" line into `set`; the line's index, or -1 when it is not a valid line of a key.
int ApplyExactLine(const std::string& line, ParamSet* set) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
        return -1;
    }
    const std::string key = line.substr(0, equals);
    const int index = FindSetupLine(key.c_str());
    if (index < 0 || ApplySetupKeyValue(set, key.c_str(), line.c_str() + equals + 1) != SETUP_LINE_APPLIED) {
        return -1;
    }
    return index;
}

// Collects exact lines into a set; whole once each key came once.
class CExactSetup {
public:
    bool Add(const std::string& line) {
        const int index = ApplyExactLine(line, &m_set);
        if (index < 0 || m_seen[static_cast<std::size_t>(index)]) {
            m_valid = false;
            return false;
        }
        m_seen[static_cast<std::size_t>(index)] = true;
        ++m_count;
        return true;
    }
    bool Whole() const { return m_valid && m_count == SetupLineCount(); }
    const ParamSet& Set() const { return m_set; }

private:
    ParamSet m_set{};
    std::vector<bool> m_seen = std::vector<bool>(static_cast<std::size_t>(SetupLineCount()), false);
    int m_count = 0;
    bool m_valid = true;
};

} // namespace

ChildSteps ParseChildSteps(const std::string& output) {
    ChildSteps steps;
    CExactSetup device;
    bool anySetup = false;
    ForEachLine(output, [&](const std::string& line, bool ended) {
        if (StartsWith(line, STEP_VERSION)) {
            steps.Version = line.substr(std::strlen(STEP_VERSION));
        } else if (line == STEP_SAVE_NEXT) {
            steps.SaveNext = true;
        } else if (StartsWith(line, STEP_PROGRESS)) {
            // not the result: only a step on the way
        } else if (StartsWith(line, STEP_SETUP) && ended) {
            anySetup = true;
            device.Add(line.substr(std::strlen(STEP_SETUP)));
        } else if (!line.empty()) {
            steps.Result = line;
            steps.ResultComplete = ended;
        }
    });
    steps.DeviceWhole = anySetup && device.Whole();
    if (steps.DeviceWhole) {
        steps.Device = device.Set();
    }
    return steps;
}

std::string FormatProgressStep(PortStage stage, int percent) {
    for (const StageWord& row : STAGE_WORDS) {
        if (row.Stage == stage) {
            return std::string(STEP_PROGRESS) + row.Word + " " + std::to_string(percent);
        }
    }
    return std::string();
}

bool ParseProgressSteps(const std::string& output, std::size_t* offset, ChildProgress* progress) {
    bool found = false;
    const std::size_t whole = output.rfind('\n');
    if (whole == std::string::npos || whole < *offset) {
        return false;
    }
    ForEachLine(output.substr(*offset, whole + 1 - *offset),
                [&](const std::string& line, bool) { found = ParseProgressLine(line, progress) || found; });
    *offset = whole + 1;
    return found;
}

std::string FormatExactSetup(const ParamSet& set, const char* prefix) {
    std::string text;
    for (int i = 0; i < SetupLineCount(); ++i) {
        std::string key;
        std::string value;
        if (FormatSetupKeyValue(set, i, &key, &value)) {
            text += prefix + key + "=" + value + "\n";
        }
    }
    return text;
}

bool ParseExactSetup(const std::string& text, ParamSet* set) {
    CExactSetup exact;
    bool valid = true;
    ForEachLine(text, [&](const std::string& line, bool) { valid = exact.Add(line) && valid; });
    if (!valid || !exact.Whole()) {
        return false;
    }
    *set = exact.Set();
    return true;
}

std::vector<std::string> StationReadArguments(const std::string& port, bool trace) {
    return ChildArguments("read", port, trace);
}

std::vector<std::string> StationWriteArguments(const std::string& port, bool trace) {
    std::vector<std::string> args = ChildArguments("write", port, trace);
    // After "--" the name of stdin is still a file argument.
    args.insert(args.end(), {"--verify", "--", STDIN_FILE});
    return args;
}

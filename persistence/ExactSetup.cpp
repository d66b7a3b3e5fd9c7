// Exact "KEY=VALUE" configurations; portable.
#include "persistence/ExactSetup.h"

#include "core/TextParse.h"
#include "persistence/SetupLines.h"

namespace {

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

} // namespace

CExactSetup::CExactSetup() : m_seen(static_cast<std::size_t>(SetupLineCount()), false) {}

bool CExactSetup::Add(const std::string& line) {
    const int index = ApplyExactLine(line, &m_set);
    if (index < 0 || m_seen[static_cast<std::size_t>(index)]) {
        m_valid = false;
        return false;
    }
    m_seen[static_cast<std::size_t>(index)] = true;
    ++m_count;
    return true;
}

bool CExactSetup::Whole() const {
    return m_valid && m_count == SetupLineCount();
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

// A configuration as "KEY=VALUE" lines in setup-file value syntax, read back exactly: no comment, no
// blanks trimmed, so that a name that a setup file would cut arrives whole. How the station talks to
// its children and keeps a plan in a shared ledger; portable.
#pragma once

#include "core/ParamSet.h"

#include <string>
#include <vector>

// `set` as one "KEY=VALUE" line (LF) per setup key, in file order; with `prefix` before each.
std::string FormatExactSetup(const ParamSet& set, const char* prefix = "");

// Reads text made by FormatExactSetup (without prefix) into `set`; false unless every key came exactly
// once in a valid line.
bool ParseExactSetup(const std::string& text, ParamSet* set);

// Collects exact lines one by one into a set; whole once each key came once and no line was bad.
class CExactSetup {
public:
    CExactSetup();
    // False for a line that is not a valid line of a key, or a key that came before.
    bool Add(const std::string& line);
    bool Whole() const;
    const ParamSet& Set() const { return m_set; }

private:
    ParamSet m_set{};
    std::vector<bool> m_seen;
    int m_count = 0;
    bool m_valid = true;
};

// The lines of a setup file: one line read into the record, and the record's lines formatted; portable.
#pragma once

#include "core/ParamSet.h"

#include <cstddef>
#include <string>

// A line is read in pieces of at most SETUP_LINE_SIZE - 1 characters; each piece counts as a line.
constexpr std::size_t SETUP_LINE_SIZE = 256;

enum SetupLineResult : int {
    SETUP_LINE_SKIPPED,  // no '=' after the comment was cut: blank, comment or other text
    SETUP_LINE_APPLIED,  // a key's value was set
    SETUP_LINE_REJECTED, // an unknown key or a malformed value
};

// Applies one line (NUL-terminated; changed in place) to `set`: a comment after ';', CR and LF are cut,
// a line without '=' is skipped, "key=value" sets the field of a key-table row or a whole destination.
// When the line is rejected, `set` may hold part of the line's value.
SetupLineResult ApplySetupLine(ParamSet* set, char* line);

// Sets the field of `key` (a key-table name or "TargetN", any case) from `value` exactly as given: no
// comment, no blanks trimmed. The counterpart of FormatSetupKeyValue for text that does not pass through
// a setup file. SETUP_LINE_SKIPPED is never returned.
SetupLineResult ApplySetupKeyValue(ParamSet* set, const char* key, const char* value);

// The index of the first line of `set` whose value would not read back the same from a setup file
// (a destination name holding ';' or ending in a blank, ...); -1 when every line would.
int FindUncarriedSetupLine(const ParamSet& set);

// How many lines a setup file holds: one per key-table row, then one per destination.
int SetupLineCount();

// Line `index` (0 to SetupLineCount() - 1) of `set` with its CR LF. False when it does not fit `size`.
bool FormatSetupLine(const ParamSet& set, int index, char* line, std::size_t size);

// Line `index` of `set` as its key ("Target3") and its value in setup-file syntax ("1,10.0.0.3,4142"),
// without the line end. False when the line could not be formatted.
bool FormatSetupKeyValue(const ParamSet& set, int index, std::string* key, std::string* value);

// The index of the line that sets `key` (compared without regard to ASCII case); -1 when no line does.
int FindSetupLine(const char* key);

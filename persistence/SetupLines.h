// The lines of a setup file: one line read into the record, and the record's lines formatted; portable.
#pragma once

#include "core/ParamSet.h"

#include <cstddef>

// A line is read in pieces of at most SETUP_LINE_SIZE - 1 characters; each piece counts as a line.
constexpr std::size_t SETUP_LINE_SIZE = 256;

// Applies one line (NUL-terminated; changed in place) to `set`: a comment after ';', CR and LF are cut,
// a line without '=' is ignored, "key=value" sets the field of a key-table row or a whole destination.
// False when the key is unknown or the value malformed; `set` may then hold part of the line's value.
bool ApplySetupLine(ParamSet* set, char* line);

// How many lines a setup file holds: one per key-table row, then one per destination.
int SetupLineCount();

// Line `index` (0 to SetupLineCount() - 1) of `set` with its CR LF. False when it does not fit `size`.
bool FormatSetupLine(const ParamSet& set, int index, char* line, std::size_t size);

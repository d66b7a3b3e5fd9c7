// Sample configuration records and their comparison, for every test tier; portable.
#pragma once

#include "core/ParamSet.h"

// A configuration with every kind of field set away from its default, for tests that carry one through
// a layer and back: 57600 baud, 192.168.0.10/255.255.255.0 via 192.168.0.1; destination i at 10.0.0.i,
// enabled when i is a multiple of 3, named "5A5256" when i is even.
ParamSet SampleParamSet();

// The record a fresh CParamFile holds.
ParamSet DefaultParamSet();

// Every byte of the two records is the same, the names' padding included.
bool SameRecord(const ParamSet& a, const ParamSet& b);

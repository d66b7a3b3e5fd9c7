// A configuration with every kind of field set away from its default, for tests that carry one through
// a layer and back.
#pragma once

#include "core/ParamSet.h"

// 57600 baud, 192.168.0.10/255.255.255.0 via 192.168.0.1; destination i at 10.0.0.i, enabled when i is
// a multiple of 3, named "5A5256" when i is even.
ParamSet SampleParamSet();

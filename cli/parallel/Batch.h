// Several ports at once: one child process of zrvlink per port, their result lines in the order of the
// ports, and the exit status of the first port that failed; portable (children through their seam).
#pragma once

#include "cli/common/CliOutcome.h"
#include "cli/common/CliRequest.h"

CliOutcome RunParallel(const CliRequest& request);

// zrvlink's commands on one port: ports, read, write, check and diff; portable.
#pragma once

#include "cli/common/CliArgs.h"
#include "cli/common/CliOutcome.h"

// Runs the command of a request that names at most one port. Data goes to stdout here; the outcome's
// lines are for the caller to report.
CliOutcome RunCommand(const CliRequest& request);

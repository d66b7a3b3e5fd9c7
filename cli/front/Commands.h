// zrvlink's commands on ports and files: ports, read, write, check and diff; portable.
#pragma once

#include "cli/common/CliOutcome.h"
#include "cli/common/CliRequest.h"

// Each runs its command of a request. Data goes to stdout here; the outcome's lines are for the caller
// to report. Read and write on several ports (IsParallel) run a child process per port.
CliOutcome RunPorts(const CliRequest& request);
CliOutcome RunRead(const CliRequest& request);
CliOutcome RunWrite(const CliRequest& request);
CliOutcome RunCheck(const CliRequest& request);
CliOutcome RunDiff(const CliRequest& request);

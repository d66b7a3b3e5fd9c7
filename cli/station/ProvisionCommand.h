// zrvlink provision, the provisioning station: it watches the device ports, gives each device that
// appears the next unit of the plan, reads, writes and verifies it through a child process per port,
// and keeps the record; portable (ports, children, Ctrl-C and files through their seams).
#pragma once

#include "cli/common/CliOutcome.h"
#include "cli/common/CliRequest.h"

// Runs the station of `request` to its end. Its events go to stdout as they happen, one line each; the
// outcome's lines (a refused plan or record) are for stderr.
CliOutcome RunStation(const CliRequest& request);

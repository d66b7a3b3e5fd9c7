// zrvlink ledger: the shared ledger's record exported in the record's CSV form, and where its units and
// stations stand; portable.
#pragma once

#include "cli/common/CliArgs.h"
#include "cli/common/CliOutcome.h"

CliOutcome RunLedgerCommand(const CliRequest& request);

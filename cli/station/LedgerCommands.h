// zrvlink ledger: the shared ledger's record exported in the record's CSV form, and where its units and
// stations stand; portable.
#pragma once

#include "cli/front/CliArgs.h"
#include "cli/front/CliOutcome.h"

CliOutcome RunLedgerCommand(const CliRequest& request);

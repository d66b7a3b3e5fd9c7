// zrvlink ledger: the shared ledger's record exported in the record's CSV form, where its units and
// stations stand, and the line's board served from it; portable.
#pragma once

#include "cli/common/CliOutcome.h"
#include "cli/common/CliRequest.h"

// Runs the ledger command that the request names (LedgerAction).
CliOutcome RunLedger(const CliRequest& request);

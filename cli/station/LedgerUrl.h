// What the station tells about a ledger's address before it connects; portable.
#pragma once

#include <string>

// True when `url` (a postgresql:// URI or libpq's keyword=value text) carries a password: in the URI's
// user part ("user:secret@"), in its query ("?password=secret") or as a keyword ("password=secret").
bool LedgerUrlHasPassword(const std::string& url);

// The warning for such an address: who can read it, and where a password belongs instead.
extern const char* const LEDGER_PASSWORD_WARNING;

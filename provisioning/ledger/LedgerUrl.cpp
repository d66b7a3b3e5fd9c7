// The ledger's address as libpq reads it: checked, shown without anything secret, and the journal's
// default place named after it; portable (libpq through PgSession.h).
#include "provisioning/ledger/Ledger.h"

#include "platform/Process.h"
#include "provisioning/ledger/LedgerSchema.h"
#include "provisioning/ledger/PgSession.h"

#include <filesystem>

namespace {

using Settings = std::vector<std::pair<std::string, std::string>>;

// What may be shown of an address: where the server is and who connects; never a password, a key's
// passphrase or anything else a URL or keyword string can carry.
const char* const SHOWN_KEYS[] = {"host", "hostaddr", "port", "dbname", "user"};

Settings Read(const std::string& url) {
    Settings settings;
    std::string ignored;
    ParsePgSettings(url, &settings, &ignored);
    return settings;
}

} // namespace

std::string LedgerConnectError(const std::string& url, const PgError& failure) {
    const std::string where = "ledger " + RedactedLedgerUrl(url);
    if (!failure.Untrusted) {
        return where + " cannot be reached: " + failure.Message;
    }
    return where + ": the server's certificate is not trusted: " + failure.Message +
           " (checked against the URL's sslrootcert, else root.crt in ~/.postgresql/, on Windows in "
           "%APPDATA%\\postgresql\\)";
}

bool CheckLedgerUrl(const std::string& url, std::string* error) {
    Settings settings;
    return ParsePgSettings(url, &settings, error);
}

std::string RedactedLedgerUrl(const std::string& url) {
    std::string shown;
    for (const char* key : SHOWN_KEYS) {
        for (const auto& [keyword, value] : Read(url)) {
            if (keyword == key) {
                shown += (shown.empty() ? "" : " ") + keyword + "=" + value;
            }
        }
    }
    return shown.empty() ? "(the defaults)" : shown;
}

bool LedgerUrlHasPassword(const std::string& url) {
    for (const auto& [keyword, value] : Read(url)) {
        if (keyword == "password") {
            return true;
        }
    }
    return false;
}

std::string DefaultLedgerJournal(const std::string& url, const std::string& station) {
    std::string where;
    for (const auto& [keyword, value] : Read(url)) {
        if (keyword == "host" || keyword == "port" || keyword == "dbname") {
            where += "-" + value;
        }
    }
    std::string name = "ledger-" + station + where + ".csv";
    for (char& c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '.' || c == '-' || c == '_';
        c = plain ? c : '_';
    }
    return (std::filesystem::path(UserStateFolder()) / "zrvlink" / name).string();
}

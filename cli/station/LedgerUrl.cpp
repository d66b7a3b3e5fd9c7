// Reading a ledger's address for a password, as libpq would find one there; portable.
#include "cli/station/LedgerUrl.h"

#include "core/TextParse.h"

#include <algorithm>
#include <cstring>

const char* const LEDGER_PASSWORD_WARNING =
    "warning: the ledger's address holds a password, which every user of this PC can read in the list "
    "of processes; give it in PGPASSWORD or ~/.pgpass instead";

namespace {

bool IsBlank(char c) {
    return std::strchr(WHITE_SPACE, c) != nullptr && c != '\0';
}

// "user:secret@host/db?password=secret": the part after the scheme.
bool UriHasPassword(const std::string& rest) {
    const std::size_t query = rest.find('?');
    const std::string authority = rest.substr(0, std::min(rest.find('/'), query));
    const std::size_t at = authority.rfind('@');
    const std::size_t colon = at == std::string::npos ? std::string::npos : authority.find(':');
    if (colon != std::string::npos && colon + 1 < at) {
        return true;
    }
    for (std::size_t start = query; start != std::string::npos && start < rest.size();) {
        const std::size_t end = rest.find('&', start + 1);
        const std::string setting = rest.substr(start + 1, end - start - 1);
        if (setting.compare(0, 9, "password=") == 0 && setting.size() > 9) {
            return true;
        }
        start = end;
    }
    return false;
}

// "host=db password = 'se cret'": each keyword, its '=' and its value, plain or quoted.
bool KeywordsHavePassword(const std::string& text) {
    std::size_t at = 0;
    const auto skipBlanks = [&] {
        while (at < text.size() && IsBlank(text[at])) {
            ++at;
        }
    };
    for (skipBlanks(); at < text.size(); skipBlanks()) {
        const std::size_t keyStart = at;
        while (at < text.size() && text[at] != '=' && !IsBlank(text[at])) {
            ++at;
        }
        const std::string keyword = text.substr(keyStart, at - keyStart);
        skipBlanks();
        if (at >= text.size() || text[at] != '=') {
            return false; // libpq refuses such text: it carries nothing
        }
        ++at;
        skipBlanks();
        std::string value;
        const bool quoted = at < text.size() && text[at] == '\'';
        for (at += quoted ? 1 : 0; at < text.size() && (quoted ? text[at] != '\'' : !IsBlank(text[at]));
             ++at) {
            at += text[at] == '\\' && at + 1 < text.size() ? 1 : 0;
            value += text[at];
        }
        at += quoted ? 1 : 0;
        if (keyword == "password" && !value.empty()) {
            return true;
        }
    }
    return false;
}

} // namespace

bool LedgerUrlHasPassword(const std::string& url) {
    for (const char* scheme : {"postgresql://", "postgres://"}) {
        const std::size_t length = std::strlen(scheme);
        if (url.compare(0, length, scheme) == 0) {
            return UriHasPassword(url.substr(length));
        }
    }
    return KeywordsHavePassword(url);
}

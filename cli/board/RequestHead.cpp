// The board's request heads and Host names; portable.
#include "cli/board/RequestHead.h"

#include "core/TextParse.h"

#include <algorithm>

HeadState CRequestHead::Take(const char* data, std::size_t size) {
    if (m_state != HeadState::Incomplete) {
        return m_state;
    }
    m_text.append(data, std::min(size, Room()));
    for (; m_scanned < m_text.size(); ++m_scanned) {
        if (m_text[m_scanned] != '\n') {
            continue;
        }
        // A line that is empty but for its CR ends the head.
        const std::size_t length = m_scanned - m_lineStart;
        const bool empty = length == 0 || (length == 1 && m_text[m_lineStart] == '\r');
        m_lineStart = m_scanned + 1;
        if (empty && m_lines > 0) {
            m_end = m_scanned + 1;
            return m_state = HeadState::Complete;
        }
        if (++m_lines > HEAD_MAX_LINES) {
            return m_state = HeadState::TooLarge;
        }
    }
    return m_state = Room() == 0 ? HeadState::TooLarge : HeadState::Incomplete;
}

namespace {

// "name:port" without its port; "[v6]:port" as "[v6]".
std::string WithoutPort(const std::string& host) {
    const std::size_t colon = host.rfind(':');
    const std::size_t bracket = host.rfind(']');
    if (colon == std::string::npos || (bracket != std::string::npos && colon < bracket)) {
        return host;
    }
    const std::string port = host.substr(colon + 1);
    const bool digits = !port.empty() && std::all_of(port.begin(), port.end(), IsDigit);
    return digits ? host.substr(0, colon) : std::string(); // a name cannot hold ':' otherwise
}

bool IsV6Literal(const std::string& name) {
    return name.size() > 2 && name.front() == '[' && name.back() == ']' &&
           std::all_of(name.begin() + 1, name.end() - 1,
                       [](char c) { return HexDigitValue(c) >= 0 || c == ':' || c == '.'; });
}

} // namespace

bool BoardHostAllowed(const std::string& host, const std::string& bound) {
    const std::string name = WithoutPort(host);
    uint32_t address = 0;
    return !name.empty() &&
           (EqualsNoCase(name, "localhost") || ParseAddress(name.c_str(), &address) || IsV6Literal(name) ||
            EqualsNoCase(name, bound) || EqualsNoCase(name, "[" + bound + "]"));
}

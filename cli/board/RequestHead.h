// What the board's front lets through to the HTTP library: a request head collected from a client within
// bounds of bytes and lines, and the Host names the board answers to; portable.
#pragma once

#include <cstddef>
#include <string>

// A head larger than this, or of more lines, is refused (431) before more of it is kept.
constexpr std::size_t HEAD_MAX_BYTES = 16 * 1024;
constexpr int HEAD_MAX_LINES = 100;

enum class HeadState {
    Incomplete, // its empty line has not come yet
    Complete,
    TooLarge,
};

class CRequestHead {
public:
    // How many more bytes may be taken: never past the limit.
    std::size_t Room() const { return HEAD_MAX_BYTES - m_text.size(); }
    // Takes `size` bytes as received (at most Room()); what follows a complete head is kept, unread.
    HeadState Take(const char* data, std::size_t size);
    HeadState State() const { return m_state; }
    // The head up to and with its empty line, once Complete.
    std::string Text() const { return m_text.substr(0, m_end); }

private:
    std::string m_text;
    std::size_t m_scanned = 0;   // bytes looked at for line ends
    std::size_t m_lineStart = 0; // where the line being scanned starts
    std::size_t m_end = 0;       // the head's length, once complete
    int m_lines = 0;             // lines ended so far, the request line with them
    HeadState m_state = HeadState::Incomplete;
};

// Whether a request with the Host header `host` ("name", "name:port", "[v6]:port") is one for this board,
// bound to `bound`: this machine by the bound name, "localhost" or an address given as such. A page of
// another site whose name was made to lead here (DNS rebinding) names that site and is refused.
bool BoardHostAllowed(const std::string& host, const std::string& bound);

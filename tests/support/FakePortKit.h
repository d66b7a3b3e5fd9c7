// An in-process stand-in for portkit: a scripted device that answers each written line at once, through
// the installed procedure, or hangs up as portkit tells it. The real library's reader thread is exercised
// over ptys.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct FakePortScript {
    // The reply bytes (prompt included, or not) to a written command line, CR included.
    std::function<std::string(const std::string& line)> Respond;
    int FailWriteAt = -1;            // the write with this index (0 = first) fails
    int HangUpAt = -1;               // the write with this index goes out, then the line goes away
    bool AnswerBeforeHangUp = false; // ... after that write's reply (else unanswered)
    bool ReadErrorFirst = false;     // each delivery's first read reports -1 before the bytes
};

// Installs `script` for the next port opened and forgets what was recorded.
void FakePortReset(const FakePortScript& script);

// What the engine did, in order.
struct FakePortLog {
    std::vector<int32_t> CreateArgs; // port, baud, data bits, parity, stop bits, three reserved
    std::vector<std::string> Lines;  // every written command line
    int Opened = 0;
    int Destroyed = 0;
};
FakePortLog FakePortRecorded();

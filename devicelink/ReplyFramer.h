// Cutting the received byte stream into replies at the device's prompt '>'; portable.
#pragma once

#include <cstddef>

constexpr std::size_t REPLY_SIZE = 256; // at most 255 characters and the NUL
constexpr char REPLY_PROMPT = '>';

struct ReplyBuffer {
    char Text[REPLY_SIZE];
    int Length; // characters collected since the last prompt, 0..255
};

// Takes one received byte. The prompt terminates the reply in Text, sets Length back to 0 and returns
// true (the reply has ended). CR, LF and 0x20..0x7F are appended while there is room (a longer reply is
// cut at 255 characters); every other byte is dropped. Returns false for every byte but the prompt.
bool PutReplyChar(ReplyBuffer& reply, unsigned char c);

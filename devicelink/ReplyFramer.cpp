// The reply framer of the device protocol; portable.
#include "devicelink/ReplyFramer.h"

static bool IsKept(unsigned char c) {
    return c == '\r' || c == '\n' || (c >= 0x20 && c <= 0x7F);
}

bool PutReplyChar(ReplyBuffer& reply, unsigned char c) {
    if (c == static_cast<unsigned char>(REPLY_PROMPT)) {
        reply.Text[reply.Length] = '\0';
        reply.Length = 0;
        return true;
    }
    if (IsKept(c) && reply.Length < static_cast<int>(REPLY_SIZE) - 1) {
        reply.Text[reply.Length++] = static_cast<char>(c);
    }
    return false;
}

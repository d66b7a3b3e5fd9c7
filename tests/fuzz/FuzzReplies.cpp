// Fuzz target: the reply framer on an arbitrary received byte stream, and every reply parser on each
// reply it frames.
#include "devicelink/ReplyFramer.h"
#include "devicelink/ReplyParser.h"

#include "core/ParamSet.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// Parsers write into the reply: each gets a fresh copy.
class CReplyCopy {
public:
    explicit CReplyCopy(const char* reply) : m_reply(reply) {}
    char* Fresh() {
        std::memcpy(m_copy, m_reply, REPLY_SIZE);
        return m_copy;
    }

private:
    const char* m_reply;
    char m_copy[REPLY_SIZE];
};

bool Terminated(const char* text, std::size_t size) {
    return std::memchr(text, '\0', size) != nullptr;
}

void ParseEvery(const char* reply) {
    CReplyCopy copy(reply);
    Check(Terminated(TrimReply(copy.Fresh()), REPLY_SIZE));
    IsReplyOK(copy.Fresh());
    int32_t number = 0;
    GetReplyNumber(copy.Fresh(), &number);
    int32_t flag = 0;
    Check(!GetReplyFlag(copy.Fresh(), &flag) || flag == 0 || flag == 1);
    uint32_t address = 0;
    uint32_t mask = 0;
    uint32_t gateway = 0;
    GetReplyAddress(copy.Fresh(), &address);
    GetReplyNetParam(copy.Fresh(), &address, &mask, &gateway);
    char name[TARGET_NAME_SIZE];
    Check(GetReplyText(copy.Fresh(), name, sizeof name) && Terminated(name, sizeof name));
    if (GetReplyName(copy.Fresh(), name, sizeof name)) {
        Check(Terminated(name, sizeof name) && std::strpbrk(name, "\r\n") == nullptr);
    }
    char tiny[1];
    GetReplyText(copy.Fresh(), tiny, sizeof tiny);
    Check(tiny[0] == '\0');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    ReplyBuffer reply{};
    for (std::size_t i = 0; i < size; ++i) {
        const bool ended = PutReplyChar(reply, data[i]);
        Check(reply.Length >= 0 && reply.Length < static_cast<int>(REPLY_SIZE));
        if (ended) {
            Check(Terminated(reply.Text, REPLY_SIZE));
            ParseEvery(reply.Text);
        }
    }
    return 0;
}

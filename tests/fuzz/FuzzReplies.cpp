// Fuzz target: the reply framer on an arbitrary received byte stream, and every reply parser on each
// reply it frames.
#include "devicelink/ReplyFramer.h"
#include "devicelink/ReplyParser.h"

#include "core/ParamSet.h"

#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

bool Terminated(const char* text, std::size_t size) {
    return std::memchr(text, '\0', size) != nullptr;
}

// Parsers write into the reply: each gets a fresh copy.
void ParseEvery(const char* reply) {
    char copy[REPLY_SIZE];
    const auto fresh = [&] { return static_cast<char*>(std::memcpy(copy, reply, REPLY_SIZE)); };
    Check(Terminated(TrimReply(fresh()), REPLY_SIZE));
    IsReplyOK(fresh());
    int32_t number = 0;
    GetReplyNumber(fresh(), &number);
    int32_t flag = 0;
    Check(!GetReplyFlag(fresh(), &flag) || flag == 0 || flag == 1);
    uint32_t address = 0;
    uint32_t mask = 0;
    uint32_t gateway = 0;
    GetReplyAddress(fresh(), &address);
    GetReplyNetParam(fresh(), &address, &mask, &gateway);
    char name[TARGET_NAME_SIZE];
    Check(GetReplyText(fresh(), name, sizeof name) && Terminated(name, sizeof name));
    if (GetReplyName(fresh(), name, sizeof name)) {
        Check(Terminated(name, sizeof name) && std::strpbrk(name, "\r\n") == nullptr);
    }
    char tiny[1];
    GetReplyText(fresh(), tiny, sizeof tiny);
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

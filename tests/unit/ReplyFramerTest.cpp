// Cutting received bytes into replies: the prompt, dropped bytes, the 255 cut, and arbitrary chunking.
#include "devicelink/ReplyFramer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Feeds `bytes` through a framer that starts as `reply`; returns every reply that a prompt ended.
std::vector<std::string> Frame(ReplyBuffer& reply, const std::string& bytes) {
    std::vector<std::string> replies;
    for (char c : bytes) {
        if (PutReplyChar(reply, static_cast<unsigned char>(c))) {
            replies.emplace_back(reply.Text);
        }
    }
    return replies;
}

std::vector<std::string> Frame(const std::string& bytes) {
    ReplyBuffer reply{};
    return Frame(reply, bytes);
}

TEST(PutReplyChar, PromptEndsEachReply) {
    const struct {
        std::string Bytes;
        std::vector<std::string> Replies;
    } cases[] = {
        {"9600\r\n>", {"9600\r\n"}},
        {">", {""}},
        {"OK>update>", {"OK", "update"}},
        {"no prompt yet", {}},
        {std::string("a") + '\0' +
             "b\x1B"
             "c"
             "\x7F"
             "\x80"
             "\xFF"
             "\td>",
         {"abc\x7F"
          "d"}}, // controls and high bytes vanish
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Replies, Frame(c.Bytes)) << c.Bytes;
    }
}

TEST(PutReplyChar, LongReplyIsCutAt255AndStillEndedByThePrompt) {
    const std::string text(300, 'a');
    std::vector<std::string> replies = Frame(text + ">" + "next>");
    ASSERT_EQ(2u, replies.size());
    EXPECT_EQ(std::string(REPLY_SIZE - 1, 'a'), replies[0]);
    EXPECT_EQ("next", replies[1]);
}

TEST(PutReplyChar, BytesBeforeTheCommandBelongToItsReply) {
    // The buffer is not cleared when a command is sent: stray bytes lead the next reply.
    ReplyBuffer reply{};
    Frame(reply, "OK>\r\nstray");
    EXPECT_EQ(std::vector<std::string>{"\r\nstray9600"}, Frame(reply, "9600>"));
}

TEST(PutReplyChar, SameRepliesWhereverTheStreamIsSplit) {
    const std::string stream =
        "\x1Bvers\r\nZRV 1.0\r\n>address 192.168.0.10\r\nnetmask 255.255.255.0\r\n>OK>";
    const std::vector<std::string> whole = Frame(stream);
    ASSERT_EQ(3u, whole.size());
    for (std::size_t first = 0; first <= stream.size(); ++first) {
        for (std::size_t second = first; second <= stream.size(); ++second) {
            ReplyBuffer reply{};
            std::vector<std::string> replies;
            for (const std::string& chunk :
                 {stream.substr(0, first), stream.substr(first, second - first), stream.substr(second)}) {
                for (const std::string& r : Frame(reply, chunk)) {
                    replies.push_back(r);
                }
            }
            ASSERT_EQ(whole, replies) << "split at " << first << " and " << second;
        }
    }
}

} // namespace

// The transcript's shaping of lines (masking, shortening, escaping) and its switch.

#include "mail/net/ProtocolTrace.h"

#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

TEST(ProtocolTrace, LinesAreShapedAsTheirSenderMarkedThem) {
    const std::string longLine(1500, 'x');
    const struct {
        const char* name;
        std::string bytes;
        TraceShape shape;
        Lines shown;
    } cases[] = {
        {"command", "USER camera\r\n", {}, {"USER camera"}},
        {"pipelined", "TOP 1 0\r\nTOP 2 0\r\n", {}, {"TOP 1 0", "TOP 2 0"}},
        {"bare LF, no end", "a\nb", {}, {"a", "b"}},
        {"password", "PASS pass word\r\n", TraceShape::SecretAfter(5), {"PASS ****"}},
        {"APOP digest", "APOP camera 0123abcd\r\n", TraceShape::SecretAfter(12),
         {"APOP camera ****"}},
        {"SASL line", "AGNhbWVyYQBzZWNyZXQ=\r\n", TraceShape::SecretAfter(0), {"****"}},
        {"empty secret", "PASS \r\n", TraceShape::SecretAfter(5), {"PASS "}},
        {"every line of a secret", "AUTH x\r\nY2FtZXJh\r\n", TraceShape::SecretAfter(5),
         {"AUTH ****", "Y2FtZ****"}},
        {"message", "+OK 120 octets\r\nSubject: cap\r\n\r\nhi\r\n.\r\n",
         TraceShape::MessageBody(), {"+OK 120 octets ... (39 bytes)"}},
        {"refusal read as a message", "-ERR no such message\r\n", TraceShape::MessageBody(),
         {"-ERR no such message"}},
        {"control bytes", "+OK \x1b[2J\x7f\tend\r\n", {}, {"+OK \\x1b[2J\\x7f\tend"}},
        {"endless line", longLine, {}, {std::string(1000, 'x') + " ... (1500 bytes)"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(protocoltrace::Shape(c.bytes, c.shape), c.shown) << c.name;
}

TEST(ProtocolTrace, RecordsCarryTimeProtocolPeerAndDirectionOnlyWhileOn) {
    Lines records;
    protocoltrace::SetSink([&records](std::string_view line) { records.emplace_back(line); });
    protocoltrace::Write("pop3", "mail.example:995", "C:", "NOOP\r\n");
    EXPECT_TRUE(records.empty());

    protocoltrace::Enable(true);
    protocoltrace::Write("pop3", "mail.example:995", "C:", "PASS x\r\n",
                         TraceShape::SecretAfter(5));
    protocoltrace::Note("pop3", "mail.example:995", "TLS up");
    protocoltrace::Enable(false);
    protocoltrace::SetSink({});

    const std::regex time(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(std::regex_search(records[0], time, std::regex_constants::match_continuous));
    EXPECT_EQ(records[0].substr(24), "pop3 mail.example:995 C: PASS ****");
    EXPECT_EQ(records[1].substr(24), "pop3 mail.example:995 -- TLS up");
}

} // namespace

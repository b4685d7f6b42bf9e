#include "mail/imap/ImapResponse.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr std::size_t npos = std::string::npos;
const std::string kGreeting = "* OK [CAPABILITY IMAP4rev1 SASL-IR LOGIN-REFERRALS ID ENABLE IDLE "
                              "LITERAL+ STARTTLS AUTH=PLAIN] Dovecot ready.\r\n";
const std::string kHeader = "Subject: cap\r\nFrom: Someone <a@example.com>\r\n\r\n"; // 47 bytes
const std::string kFetchLiteral =
    "* 1 FETCH (UID 7 BODY[HEADER.FIELDS (SUBJECT FROM)] {47}\r\n" + kHeader + ")\r\n";

// A response written back compactly: status responses as "<tag> <STATUS> [code] |text|",
// data as "* <number> <NAME> <values>", numbers as #n, strings in quotes; "-" for nullopt.
std::string Render(const imap::Value& value) {
    switch (value.kind) {
    case imap::Value::Kind::Number:
        return "#" + std::to_string(value.number);
    case imap::Value::Kind::String:
        return "\"" + value.text + "\"";
    case imap::Value::Kind::Nil:
        return "NIL";
    case imap::Value::Kind::List: {
        std::string list;
        for (const imap::Value& item : value.items)
            list += (list.empty() ? "" : " ") + Render(item);
        return "(" + list + ")";
    }
    default:
        return value.text;
    }
}

std::string Render(const std::optional<imap::Response>& response) {
    if (!response)
        return "-";
    using Kind = imap::Response::Kind;
    std::string out = response->kind == Kind::Continuation ? "+"
                      : response->kind == Kind::Untagged   ? "*"
                                                           : response->tag;
    if (!response->status.empty() || response->kind == Kind::Continuation) {
        out += response->status.empty() ? "" : " " + response->status;
        out += response->code.empty() ? "" : " [" + response->code + "]";
        return out + " |" + response->text + "|";
    }
    if (response->number)
        out += " " + std::to_string(*response->number);
    out += " " + response->name;
    for (const imap::Value& value : response->data)
        out += " " + Render(value);
    return out;
}

std::optional<imap::Response> Parse(const std::string& bytes) {
    return imap::ParseResponse(bytes);
}

TEST(ImapResponse, EndRuleSkipsLiteralsWhateverTheyHold) {
    struct Case {
        std::string buffered;
        std::size_t end;
    };
    const Case cases[] = {
        {"* OK ready\r\n* 1 EXISTS\r\n", 12},
        {"* OK ready\r", npos},
        {kFetchLiteral + "a4 OK done\r\n", kFetchLiteral.size()},
        {kFetchLiteral.substr(0, 70), npos}, // inside the literal, past a CR LF of it
        // a literal holding CR LF and what looks like another literal
        {"* 1 FETCH (BODY[] {7}\r\nx {3}\r\n)\r\nrest", 33},
        {"* 1 FETCH (BODY[] {7+}\r\nx {3}\r\n)\r\n", 34},
        {"* 1 FETCH (BODY[] {2}\r\nab\r\n", 27}, // ends on the empty line after the literal
        {"* 1 FETCH (BODY[] {2}\r\nab", npos},
        {"* 1 FETCH (BODY[] {2147483648}\r\nab\r\n", npos}, // 2^31 is still waited for
        {"* 1 FETCH (BODY[] {2147483649}\r\nab\r\n", 32},   // beyond: ends at its line
        {"* 1 FETCH (BODY[] {12345678901}\r\nab\r\n", 33},
        {"* 1 FETCH (BODY[] {0000000001}\r\nab\r\n", 36}, // ten digits is still a size
        {"a1 OK {}\r\nx\r\n", 10},
        {"a1 OK {+}\r\nx\r\n", 11},
    };
    for (const Case& c : cases)
        EXPECT_EQ(replyend::ImapResponse(c.buffered, 0), c.end) << c.buffered;
}

// A response that arrives a little at a time: each byte of its lines is searched about once,
// and the bytes of a literal never, so a 64 MiB response costs its size, not its size squared.
TEST(ImapResponse, ScannerSearchesEachByteOnceWhateverTheReads) {
    const std::string longLine = "* OK " + std::string(1 << 20, 'x') + "\r\n";
    const std::string bigLiteral =
        "* 1 FETCH (UID 3 BODY[] {1048576}\r\n" + std::string(1 << 20, '\n') + ")\r\n";
    for (const std::string& full : {longLine, bigLiteral}) {
        for (const std::size_t step : {std::size_t{1} << 10, std::size_t{1} << 16}) {
            replyend::ImapResponseScanner scanner;
            std::size_t end = npos;
            for (std::size_t have = step; end == npos; have += step)
                end = scanner(std::string_view(full).substr(0, std::min(have, full.size())), 0);
            EXPECT_EQ(end, full.size());
            const std::size_t lines = full.size() - (full == bigLiteral ? (1u << 20) : 0);
            EXPECT_LE(scanner.BytesSearched(), lines + full.size() / step + 8) << step;
        }
    }
}

TEST(ImapResponse, EndRuleGivesTheSameEndWhereverTheBytesWereSplit) {
    for (const std::string& full : {kGreeting, kFetchLiteral + "a4 OK done\r\n",
                                    std::string("* 1 FETCH (BODY[] {3}\r\n{1}\r\n)\r\n")}) {
        const std::size_t end = replyend::ImapResponse(full, 0);
        ASSERT_NE(end, npos);
        for (std::size_t split = 0; split <= full.size(); ++split) {
            const std::string_view first = std::string_view(full).substr(0, split);
            if (replyend::ImapResponse(first, 0) == npos)
                EXPECT_EQ(replyend::ImapResponse(full, split), end) << split << ": " << full;
            else
                EXPECT_GE(split, end) << full;
        }
    }
}

TEST(ImapResponse, ParsesEachKindOfResponse) {
    struct Case {
        std::string bytes;
        std::string parsed;
    };
    const Case cases[] = {
        {kGreeting, "* OK [CAPABILITY IMAP4rev1 SASL-IR LOGIN-REFERRALS ID ENABLE IDLE LITERAL+ "
                    "STARTTLS AUTH=PLAIN] |Dovecot ready.|"},
        {"a3 OK [READ-WRITE] Select completed (0.001 + 0.000 secs).\r\n",
         "a3 OK [READ-WRITE] |Select completed (0.001 + 0.000 secs).|"},
        {"a4 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n",
         "a4 NO [AUTHENTICATIONFAILED] |Authentication failed.|"},
        {"a5 bad Unknown command.", "a5 BAD |Unknown command.|"}, // and no final CR LF
        {"* BYE Logging out\r\n", "* BYE |Logging out|"},
        {"* PREAUTH [ALERT] Logged in\r\n", "* PREAUTH [ALERT] |Logged in|"},
        {"* OK [UNSEEN 3]\r\n", "* OK [UNSEEN 3] ||"},
        {"* OK [ no bracket closes\r\n", "* OK |[ no bracket closes|"},
        {"a6 OK\r\n", "a6 OK ||"},
        {"+ idling\r\n", "+ |idling|"},
        {"+\r\n", "+ ||"},
        {"* 23 EXISTS\r\n", "* 23 EXISTS"},
        {"* 3 expunge\r\n", "* 3 EXPUNGE"},
        {"* 0 RECENT", "* 0 RECENT"},
        {"* CAPABILITY IMAP4rev1 IDLE AUTH=PLAIN\r\n", "* CAPABILITY IMAP4rev1 IDLE AUTH=PLAIN"},
        {"* SEARCH 2 84 882\r\n", "* SEARCH #2 #84 #882"},
        {"* SEARCH\r\n", "* SEARCH"},
        {"* SEARCH \r\n", "* SEARCH"},
        {"* SEARCH 9223372036854775807 9223372036854775808\r\n",
         "* SEARCH #9223372036854775807 9223372036854775808"}, // past 63 bits: an atom
        {"* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)\r\n",
         "* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)"},
        {"* LIST (\\HasNoChildren) \"/\" INBOX\r\n", "* LIST (\\HasNoChildren) \"/\" INBOX"},
        {kFetchLiteral,
         "* 1 FETCH (UID #7 BODY[HEADER.FIELDS (SUBJECT FROM)] \"" + kHeader + "\")"},
        {"* 2 FETCH (BODY[HEADER.FIELDS (SUBJECT)] \"Subject: \\\"q\\\" \\\\\" UID 9)\r\n",
         "* 2 FETCH (BODY[HEADER.FIELDS (SUBJECT)] \"Subject: \"q\" \\\" UID #9)"},
        {"* 3 FETCH (UID 10 BODY[HEADER.FIELDS (SUBJECT FROM)] NIL FLAGS (\\Seen))\r\n",
         "* 3 FETCH (UID #10 BODY[HEADER.FIELDS (SUBJECT FROM)] NIL FLAGS (\\Seen))"},
        {"* 4 FETCH (BODY[]<0> {3+}\r\nabc BINARY[1] ~{2}\r\n\r\n)\r\n",
         "* 4 FETCH (BODY[]<0> \"abc\" BINARY[1] \"\r\n\")"},
        {"* 5 FETCH (BODY[] \"\" X ())", "* 5 FETCH (BODY[] \"\" X ())"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Render(Parse(c.bytes)), c.parsed) << c.bytes;
}

TEST(ImapResponse, RejectsMalformedResponses) {
    const std::string malformed[] = {
        // no tag, no status, or one a tagged response cannot have
        "", "\r\n", "* ", "a1\r\n", "*x OK hi\r\n", "a1 BYE tagged\r\n", "a1 FETCH (UID 1)\r\n",
        "* OK[ALERT] x\r\n",
        // an untagged number beyond 32 bits, without a name, or not a number
        "* 4294967296 EXISTS\r\n", "* 5\r\n", "* 12a EXISTS\r\n",
        // two responses in one; a literal in a status text
        "* OK a\r\n* OK b\r\n", "* X 1\r\n2\r\n", "a1 OK text {3}\r\nabc\r\n", "+ {0}\r\n",
        // lists and strings left open or closed twice, values not apart, a stray bracket
        "* 1 FETCH (UID 7\r\n", "* 1 FETCH (UID 7))\r\n", "* SEARCH \"open\r\n", "* X a\"b\"\r\n",
        "* X (a)(b)\r\n", "* X ]\r\n", "* 1 FETCH (BODY[HEADER\r\n] x)\r\n",
        // literals short of their size, not followed by CR LF, too large
        "* 1 FETCH (BODY[] {10}\r\nshort)\r\n", "* 1 FETCH (BODY[] {3}x\r\nabc)\r\n",
        "* 1 FETCH (BODY[] {12345678901}\r\n)\r\n"};
    for (const std::string& bytes : malformed)
        EXPECT_EQ(Render(Parse(bytes)), "-") << bytes;
    // Lists nest 64 deep at most.
    EXPECT_NE(Render(Parse("* X " + std::string(64, '(') + std::string(64, ')'))), "-");
    EXPECT_EQ(Render(Parse("* X " + std::string(65, '(') + std::string(65, ')'))), "-");
}

TEST(ImapResponse, CapabilitiesComeFromDataOrCodeInUpperCase) {
    const std::vector<std::string> none;
    EXPECT_EQ(imap::Capabilities(*Parse("* CAPABILITY imap4rev1 IDLE\r\n")),
              (std::vector<std::string>{"IMAP4REV1", "IDLE"}));
    EXPECT_EQ(imap::Capabilities(*Parse("a1 OK [CAPABILITY IMAP4rev1  Auth=Plain] x\r\n")),
              (std::vector<std::string>{"IMAP4REV1", "AUTH=PLAIN"}));
    EXPECT_EQ(imap::Capabilities(*Parse(kGreeting)).size(), 9u);
    EXPECT_EQ(imap::Capabilities(*Parse("a1 OK [CAPABILITYX IDLE] x\r\n")), none);
    EXPECT_EQ(imap::Capabilities(*Parse("* SEARCH 1\r\n")), none);
}

TEST(ImapResponse, SearchNumbersSkipWhatIsNoMessageNumber) {
    struct Case {
        std::string bytes;
        std::vector<uint32_t> numbers;
    };
    const Case cases[] = {
        {"* SEARCH 2 84 882\r\n", {2, 84, 882}},
        {"* SEARCH\r\n", {}},
        {"* SEARCH 2 5000000000 x 3 (MODSEQ 917162500)\r\n", {2, 3}},
        {"* 2 EXISTS\r\n", {}},
        {"a1 OK SEARCH 1\r\n", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(imap::SearchNumbers(*Parse(c.bytes)), c.numbers) << c.bytes;
}

TEST(ImapResponse, HeaderOfFetchNeedsUidAndBodyInAnyOrder) {
    struct Case {
        std::string bytes;
        uint32_t uid; // 0: nullopt expected
        std::string header;
    };
    const Case cases[] = {
        {kFetchLiteral, 7, kHeader},
        {"* 2 FETCH (body[header] \"Subject: x\" FLAGS (\\Seen) UID 9)\r\n", 9, "Subject: x"},
        {"* 3 FETCH (UID 10 BODY[HEADER.FIELDS (SUBJECT FROM)] NIL)\r\n", 10, ""},
        {"* 4 FETCH (UID 11 BODY (\"TEXT\") BODY[] \"b\")\r\n", 11, "b"},
        {"* 1 FETCH (FLAGS (\\Seen) UID 7)\r\n", 0, ""}, // a flag update, no header
        {"* 1 FETCH (BODY[] \"x\")\r\n", 0, ""},
        {"* 1 FETCH (UID 0 BODY[] \"x\")\r\n", 0, ""},
        {"* 1 FETCH (UID 4294967296 BODY[] \"x\")\r\n", 0, ""},
        {"* 1 FETCH (UID 7 BODY[] (x))\r\n", 0, ""},
        {"* 1 EXISTS\r\n", 0, ""},
    };
    for (const Case& c : cases) {
        const std::optional<imap::FetchedHeader> fetched = imap::HeaderOfFetch(*Parse(c.bytes));
        EXPECT_EQ(fetched ? fetched->uid : 0u, c.uid) << c.bytes;
        EXPECT_EQ(fetched ? fetched->header : "", c.header) << c.bytes;
    }
}

TEST(ImapResponse, QuotedEscapesAndParsesBack) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"abc", "\"abc\""},
        {"", "\"\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"a\r\nb", std::nullopt},
        {std::string("a\0b", 3), std::nullopt},
        {"caf\xC3\xA9", std::nullopt},
    };
    for (const auto& [text, quoted] : cases) {
        EXPECT_EQ(imap::Quoted(text), quoted) << text;
        if (!quoted)
            continue;
        const auto back = imap::HeaderOfFetch(*Parse("* 1 FETCH (UID 1 BODY[] " + *quoted + ")"));
        ASSERT_TRUE(back) << *quoted;
        EXPECT_EQ(back->header, text);
    }
}

TEST(ImapResponse, UidValidityReadsItsCode) {
    EXPECT_EQ(imap::UidValidity(*Parse("* OK [UIDVALIDITY 3857529045] UIDs valid\r\n")),
              3857529045u);
    EXPECT_EQ(imap::UidValidity(*Parse("* OK [UIDVALIDITY 4294967296] x\r\n")), 0u);
    EXPECT_EQ(imap::UidValidity(*Parse("* OK [UIDVALIDITY x] x\r\n")), 0u);
    EXPECT_EQ(imap::UidValidity(*Parse("* OK [UIDNEXT 4] x\r\n")), 0u);
}

} // namespace

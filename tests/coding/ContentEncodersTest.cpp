#include "mail/text/ContentEncoders.h"

#include "mail/text/TextCodec.h"
#include "tests/support/TempDir.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace encoders;
using namespace std::string_literals;

struct Case {
    const char* name;
    std::string input;
    unsigned flags;
    std::string expected;
};

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(byte(random));
    return bytes;
}

std::string Letters(std::size_t n) {
    return std::string(n, 'a');
}

std::string Repeat(const std::string& s, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += s;
    return out;
}

std::vector<std::string> SplitCrLf(const std::string& s) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = s.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(s.substr(start, end - start));
    lines.push_back(s.substr(start));
    return lines;
}

struct PipeCloser {
    void operator()(FILE* f) const { pclose(f); }
};

std::string RunCommand(const std::string& command) {
    std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    if (!pipe)
        return {};
    std::string out;
    char buffer[65536];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        out.append(buffer, n);
    return out;
}

// --- EncodeBase64Block -----------------------------------------------------------------------

TEST(EncodeBase64Block, FillAndLineRules) {
    const std::string fullLine = Repeat("YWFh", 19); // 19 times "aaa"
    const std::vector<Case> cases = {
        {"empty", "", 0, ""},
        {"one byte, two fill characters", "a", 0, "YQ=="},
        {"two bytes, one fill character", "ab", 0, "YWI="},
        {"no pad", "a", Base64Flag::NoPad, "YQ"},
        {"no pad two bytes", "ab", Base64Flag::NoPad, "YWI"},
        {"rfc 4648 vector", "foobar", 0, "Zm9vYmFy"},
        {"57 bytes: one line and crlf", Letters(57), 0, fullLine + "\r\n"},
        {"58 bytes: rest on a new line", Letters(58), 0, fullLine + "\r\nYQ=="},
        {"60 bytes", Letters(60), 0, fullLine + "\r\nYWFh"},
        {"114 bytes: two lines, nothing after", Letters(114), 0,
         fullLine + "\r\n" + fullLine + "\r\n"},
        {"56 bytes: rest on the last line", Letters(56), 0, fullLine.substr(0, 72) + "YWE="},
        {"no line breaks", Letters(58), Base64Flag::NoLineBreaks, fullLine + "YQ=="},
        {"both flags", Letters(58), Base64Flag::NoLineBreaks | Base64Flag::NoPad, fullLine + "YQ"},
        {"high bytes", "\xFB\xFF\xBF", 0, "+/+/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeBase64Block(c.input, c.flags), c.expected) << c.name;
        EXPECT_EQ(Base64EncodedLength(c.input.size(), c.flags), c.expected.size()) << c.name;
    }
}

TEST(EncodeBase64Block, MatchesCoreutilsBase64) {
    TempDir dir;
    for (std::size_t size : {0u, 1u, 2u, 56u, 57u, 58u, 5700u, 5701u, 100000u}) {
        const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
        const auto file = dir.path() / "data.bin";
        TempDir::WriteFile(file, bytes);
        std::string expected = RunCommand("base64 -w 76 '" + file.string() + "'");
        std::string ours = EncodeBase64Block(bytes);
        // coreutils ends every line, the last one too, with LF; we end full lines with CRLF.
        std::string normalized;
        for (const auto& line : SplitCrLf(ours))
            if (!line.empty())
                normalized += line + "\n";
        EXPECT_EQ(normalized, expected) << size;
    }
}

TEST(EncodeBase64Block, CompositeBlocksMatchWholeText) {
    // Blocks of 5700 bytes (100 lines) chain into the text of the whole input.
    const std::string bytes = RandomBytes(5700 * 3 + 10, 1);
    std::string chained;
    for (std::size_t at = 0; at < bytes.size(); at += 5700) {
        const std::string_view block = std::string_view(bytes).substr(at, 5700);
        chained +=
            EncodeBase64Block(block, block.size() == 5700 ? unsigned{Base64Flag::NoPad} : 0u);
    }
    EXPECT_EQ(chained, EncodeBase64Block(bytes));
}

TEST(EncodeBase64Block, PredictedLengthIsExactForEveryShape) {
    // Writing into a buffer of exactly the predicted size: a wrong prediction overruns it,
    // which the sanitizer build reports.
    const std::string bytes = RandomBytes(400, 5);
    for (unsigned flags = 0; flags < 4; ++flags) {
        for (std::size_t n = 0; n <= bytes.size(); ++n) {
            const std::size_t predicted = Base64EncodedLength(n, flags);
            std::vector<char> out(predicted);
            ASSERT_EQ(EncodeBase64To(reinterpret_cast<const unsigned char*>(bytes.data()), n, flags,
                                     out.data()),
                      predicted)
                << n << " flags " << flags;
        }
    }
}

// --- DecodeBase64 ----------------------------------------------------------------------------

TEST(DecodeBase64, TakesOnlyStrictBase64) {
    struct DecodeCase {
        const char* name;
        std::string text;
        unsigned flags;
        std::optional<std::string> bytes;
    };
    const auto pad = unsigned{Base64DecodeFlag::PadOptional};
    const std::vector<DecodeCase> cases = {
        {"empty", "", 0, ""},
        {"rfc 4648 vector", "Zm9vYmFy", 0, "foobar"},
        {"two fill characters", "YWJjZA==", 0, "abcd"},
        {"one fill character", "YWJjZGU=", 0, "abcde"},
        {"plus and slash", "+/+/", 0, "\xFB\xFF\xBF"},
        {"zero bytes kept", "YQBi", 0, "a\0b"s},
        {"fill left out", "YWJjZA", 0, std::nullopt},
        {"fill left out, allowed", "YWJjZA", pad, "abcd"},
        {"one of two fill characters", "YWJjZA=", pad, std::nullopt},
        {"fill after a full group", "YWJj=", pad, std::nullopt},
        {"three fill characters", "YQ===", 0, std::nullopt},
        {"fill alone", "====", 0, std::nullopt},
        {"fill inside", "YQ==YWJj", 0, std::nullopt},
        {"one character left over", "YWJjZ", pad, std::nullopt},
        {"outside the alphabet", "Y*Jj", 0, std::nullopt},
        {"url-safe alphabet", "-_-_", 0, std::nullopt},
        {"blank inside", "YWJj ZA==", 0, std::nullopt},
        {"line break at the end", "YWJj\r\n", 0, std::nullopt},
        {"high byte", "YWJ\xE3", 0, std::nullopt},
        {"nul byte", "YW\0j"s, 0, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeBase64(c.text, c.flags), c.bytes) << c.name;
}

TEST(DecodeBase64, ReversesTheEncoderForEveryLength) {
    const std::string bytes = RandomBytes(300, 11);
    for (std::size_t n = 0; n <= bytes.size(); ++n) {
        const std::string_view source = std::string_view(bytes).substr(0, n);
        const std::string padded = EncodeBase64Block(source, Base64Flag::NoLineBreaks);
        ASSERT_EQ(DecodeBase64(padded), source) << n;
        const std::string bare =
            EncodeBase64Block(source, Base64Flag::NoLineBreaks | Base64Flag::NoPad);
        ASSERT_EQ(DecodeBase64(bare, Base64DecodeFlag::PadOptional), source) << n;
    }
}

// --- EncodeQuotedPrintableBlock --------------------------------------------------------------

// Reverses the encoding: soft breaks vanish, "=XX" becomes its byte.
std::string DecodeQuotedPrintable(const std::string& qp) {
    std::string out;
    for (std::size_t i = 0; i < qp.size(); ++i) {
        if (qp[i] != '=') {
            out += qp[i];
        } else if (qp.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
        } else {
            out += static_cast<char>(std::stoi(qp.substr(i + 1, 2), nullptr, 16));
            i += 2;
        }
    }
    return out;
}

TEST(EncodeQuotedPrintableBlock, LiteralsEscapesAndSoftBreaks) {
    const std::vector<Case> cases = {
        {"equals escaped", "a=b", 0, "a=3Db"},
        {"line breaks encoded", "a\r\nb", 0, "a=0D=0Ab"},
        {"high and control bytes", "\x80\xFF\x7F\x01", 0, "=80=FF=7F=01"},
        {"blank and tab literal early", "a b\tc", 0, "a b\tc"},
        {"70 letters", Letters(70), 0, Letters(65) + "=\r\n" + Letters(5)},
        {"blank at column 64", Letters(64) + " b", 0, Letters(64) + "=20=\r\nb"},
        {"tab at column 64", Letters(64) + "\t", 0, Letters(64) + "=09=\r\n"},
        {"escape at column 64 gives 67 characters", Letters(64) + "=", 0, Letters(64) + "=3D=\r\n"},
        {"soft break at end", "ab", QuotedPrintableFlag::SoftBreakAtEnd, "ab=\r\n"},
        {"dot stuffed at start", ".a", QuotedPrintableFlag::DotStuff, "..a"},
        {"dot stuffed after a soft break", Letters(65) + ".", QuotedPrintableFlag::DotStuff,
         Letters(65) + "=\r\n.."},
        {"dot not stuffed inside a line", "a.", QuotedPrintableFlag::DotStuff, "a."},
        {"dot kept without the flag", ".a", 0, ".a"},
        {"empty", "", 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeQuotedPrintableBlock(c.input, c.flags), c.expected) << c.name;
}

TEST(EncodeQuotedPrintableBlock, RandomInputRoundTripsInShortLines) {
    for (unsigned seed = 0; seed < 20; ++seed) {
        const std::string bytes = RandomBytes(7600, seed);
        const std::string qp =
            EncodeQuotedPrintableBlock(bytes, QuotedPrintableFlag::SoftBreakAtEnd);
        for (const auto& line : SplitCrLf(qp))
            ASSERT_LE(line.size(), 68u);
        EXPECT_EQ(DecodeQuotedPrintable(qp), bytes);
    }
    // Worst case for the output size: every byte escaped, dots at every line start.
    const std::string dots(7600, '.');
    const std::string stuffed = EncodeQuotedPrintableBlock(
        dots, QuotedPrintableFlag::DotStuff | QuotedPrintableFlag::SoftBreakAtEnd);
    for (const auto& line : SplitCrLf(stuffed))
        EXPECT_TRUE(line.empty() || line.rfind("..", 0) == 0) << line;
    const std::string escaped(7600, '\x80');
    EXPECT_EQ(DecodeQuotedPrintable(EncodeQuotedPrintableBlock(escaped)), escaped);
}

// --- EncodeUuBlock ---------------------------------------------------------------------------

std::string DecodeUuLines(const std::string& uu) {
    std::string out;
    for (const auto& line : SplitCrLf(uu)) {
        if (line.empty() || line == "`" || line == "end" || line.rfind("begin ", 0) == 0)
            continue;
        const std::size_t count = static_cast<unsigned char>(line[0]) - 32u;
        std::string decoded;
        for (std::size_t i = 1; i + 4 <= line.size(); i += 4) {
            unsigned v[4];
            for (int k = 0; k < 4; ++k)
                v[k] = (static_cast<unsigned char>(line[i + k]) - 32u) & 63u;
            decoded += static_cast<char>((v[0] << 2) | (v[1] >> 4));
            decoded += static_cast<char>((v[1] << 4) | (v[2] >> 2));
            decoded += static_cast<char>((v[2] << 6) | v[3]);
        }
        out += decoded.substr(0, count);
    }
    return out;
}

TEST(EncodeUuBlock, LinesBeginAndEnd) {
    const std::vector<Case> cases = {
        {"classic vector", "Cat", 0, "#0V%T\r\n"},
        {"zero bits written as backquote", "\0\0\0"s, 0, "#````\r\n"},
        {"missing bytes count as blanks", "a", 0, "!82`@\r\n"},
        {"empty with both flags", "", UuFlag::WriteBegin | UuFlag::WriteEnd,
         "begin 666 pic.jpg\r\n`\r\nend\r\n"},
        {"14 bytes dot stuffed", Letters(14), UuFlag::DotStuff,
         ".." + Repeat("86%A", 4) + "86$@\r\n"},
        {"14 bytes without the flag", Letters(14), 0, "." + Repeat("86%A", 4) + "86$@\r\n"},
        {"45 bytes make an M line", Letters(45), 0, "M" + Repeat("86%A", 15) + "\r\n"},
        {"46 bytes make two lines", Letters(46), 0, "M" + Repeat("86%A", 15) + "\r\n!82`@\r\n"},
    };
    for (const auto& c : cases) {
        const auto uu = EncodeUuBlock(c.input, "pic.jpg", c.flags);
        ASSERT_TRUE(uu) << c.name;
        EXPECT_EQ(*uu, c.expected) << c.name;
    }
}

TEST(EncodeUuBlock, RoundTripsAcrossLines) {
    const std::string bytes = RandomBytes(4500 + 17, 3);
    const auto uu = EncodeUuBlock(bytes, "/tmp/x.bin", UuFlag::WriteBegin | UuFlag::WriteEnd);
    ASSERT_TRUE(uu);
    EXPECT_EQ(uu->rfind("begin 666 /tmp/x.bin\r\n", 0), 0u);
    EXPECT_EQ(uu->substr(uu->size() - 8), "`\r\nend\r\n");
    EXPECT_EQ(DecodeUuLines(*uu), bytes);
}

TEST(EncodeUuBlock, RefusesUnsafeNames) {
    EXPECT_FALSE(EncodeUuBlock("x", std::string(260, 'n'), UuFlag::WriteBegin));
    EXPECT_TRUE(EncodeUuBlock("x", std::string(259, 'n'), UuFlag::WriteBegin));
    EXPECT_FALSE(EncodeUuBlock("x", "a\r\nb", UuFlag::WriteBegin));
    EXPECT_FALSE(EncodeUuBlock("x", "a\0b"s, UuFlag::WriteBegin));
    // The name is only written with the begin line.
    EXPECT_TRUE(EncodeUuBlock("x", std::string(300, 'n'), UuFlag::WriteEnd));
}

// --- Encoded words ---------------------------------------------------------------------------

TEST(EncodeHeaderWord, QForm) {
    const std::vector<Case> cases = {
        {"blank as =20", "a b", 0, "=?cs?Q?a=20b?="},
        {"question mark, underscore, equals", "?_=", 0, "=?cs?Q?=3F=5F=3D?="},
        {"high bytes and controls", "\x82\xA0\r\n", 0, "=?cs?Q?=82=A0=0D=0A?="},
        {"empty", "", 0,
         "=?cs?Q?"
         "?="},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeHeaderWordQ(c.input, "cs"), c.expected) << c.name;
    const std::string longWord = EncodeHeaderWordQ(std::string(500, '\xE0'), "shift_jis");
    EXPECT_EQ(longWord.size(), 14 + 1500 + 2u);
}

TEST(EncodeHeaderWord, BForm) {
    EXPECT_EQ(EncodeHeaderWordB("ab", "shift_jis"), "=?shift_jis?B?YWI=?=");
    EXPECT_EQ(EncodeHeaderWordB("", "cs"), "=?cs?B?"
                                           "?=");
    const std::string word = EncodeHeaderWordB(Letters(300), "cs");
    EXPECT_EQ(word.find("\r\n"), std::string::npos);
    EXPECT_EQ(word.size(), 7 + 400 + 2u);
}

// --- CountExtendedBytes ----------------------------------------------------------------------

TEST(CountExtendedBytes, CountsControlsAndHighBytes) {
    ASSERT_TRUE(text::CodePageAvailable());
    struct CountCase {
        const char* name;
        std::string input;
        std::size_t expected;
    };
    const std::vector<CountCase> cases = {
        {"ascii", "Hello, world ~", 0},
        {"tab lf cr not counted", "\t\n\r", 0},
        {"other controls and del", "\x01\x08\x0B\x0C\x0E\x1F\x7F"s, 7},
        {"nul counted", "\0"s, 1},
        // 画 is 89 E6 (both counted), ア is 83 41 (trail below 0x80 not counted).
        {"shift_jis", text::Utf8ToSjis("画ア"), 3},
        {"half-width katakana", "\xB1\xB2", 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CountExtendedBytes(c.input), c.expected) << c.name;
}

} // namespace

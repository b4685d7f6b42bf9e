#include "mail/mime/MimeMessage.h"

#include "mail/mime/MimeFilePart.h"
#include "mail/mime/MimeTextPart.h"
#include "mail/text/TextCodec.h"
#include "tests/smtp/SmtpTestUtil.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

std::vector<std::string> Base64Lines(std::string_view bytes) {
    const std::string text = Base64(bytes);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < text.size(); i += 76)
        lines.push_back(text.substr(i, 76));
    return lines;
}

std::string Write(CMimeMessage& message, unsigned flags = SmtpForm) {
    StringStream stream;
    EXPECT_TRUE(message.WriteTo(stream, flags));
    return stream.bytes();
}

// The lines of a text part's body, between its header and the next delimiter.
std::vector<std::string> TextBodyLines(CMimeTextPart& part, unsigned flags) {
    StringStream stream;
    EXPECT_TRUE(part.WriteTo(stream, "", flags));
    const std::string& all = stream.bytes();
    const std::size_t body = all.find("\r\n\r\n");
    return SplitCrLf(all.substr(body + 4));
}

class MimeMessageTest : public ::testing::Test {
protected:
    std::shared_ptr<CCodePageService> m_service = CCodePageService::Create();
    TempDir m_dir;
};

TEST_F(MimeMessageTest, ReplyMessageWithTextAndJpegLineByLine) {
    const std::string jpeg = JpegLikeBytes(3000);
    const auto path = m_dir.path() / "20261206154744.jpg";
    TempDir::WriteFile(path, jpeg);
    const std::string body = "2026年12月6日(日)15時47分44秒現在の画像です。";

    CMimeMessage message(m_service);
    EXPECT_TRUE(message.SetPriorityLevel(1));
    EXPECT_TRUE(message.AddToRecipient("alice@example.test"));
    EXPECT_TRUE(message.AddToRecipient("bob@example.test"));
    EXPECT_TRUE(message.SetSenderAddress("camera@example.test"));
    EXPECT_TRUE(message.SetSenderDisplayName("カメラ"));
    EXPECT_TRUE(message.AddFileAttachment(path.string()));
    EXPECT_TRUE(message.AddTextPart(body, 1));
    EXPECT_TRUE(message.SetSubjectText("キャプチャ画像"));

    const std::vector<std::string> lines = SplitCrLf(Write(message));
    ASSERT_GT(lines.size(), 10u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(Date: \w{3}, \d{1,2} \w{3} \d{4} )"
                                                      R"(\d\d:\d\d:\d\d [+-]\d{4})")))
        << lines[0];
    std::smatch found;
    ASSERT_TRUE(std::regex_match(lines[8], found, std::regex("\tboundary=\"(.{32})\"")))
        << lines[8];
    const std::string boundary = found[1];
    EXPECT_TRUE(std::regex_match(lines[4], std::regex(R"(Message-ID: <[^@<>]+@example\.test>)")))
        << lines[4];

    std::vector<std::string> expected = {
        lines[0],
        // Japanese header texts as ISO-2022-JP words, as Japanese mail readers show them best.
        "From: " + EncodedWord("カメラ") + " <camera@example.test>",
        "Subject: " + EncodedWord("キャプチャ画像"),
        "To: <alice@example.test>, <bob@example.test>",
        lines[4],
        "X-Priority: 1",
        "MIME-Version: 1.0",
        "Content-Type: multipart/mixed;",
        "\tboundary=\"" + boundary + "\"",
        "",
        "",
        "--" + boundary,
        "Content-Type: text/plain;",
        "\tcharset=\"shift_jis\"",
        "Content-Transfer-Encoding: 8bit",
        "",
        text::Utf8ToSjis(body),
        "",
        "--" + boundary,
        "Content-Type: image/jpeg;",
        "\tcharset=\"shift_jis\";",
        "\tname=\"20261206154744.jpg\"",
        "Content-Transfer-Encoding: base64",
        "Content-Disposition: attachment;",
        "\tfilename=\"20261206154744.jpg\"",
        "",
    };
    for (const std::string& line : Base64Lines(jpeg))
        expected.push_back(line);
    expected.insert(expected.end(), {"", "", "--" + boundary + "--"});
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(message.EnvelopeRecipients(), "alice@example.test,bob@example.test");
    EXPECT_EQ(message.SenderAddress(), "camera@example.test");
}

TEST_F(MimeMessageTest, OnePartHasNoBoundary) {
    CMimeMessage message(m_service);
    message.SetSenderAddress("me@example.test");
    message.SetSenderDisplayName("Camera Name");
    message.SetSubjectText("plain subject");
    message.AddTextPart("hello");
    const std::vector<std::string> lines = SplitCrLf(Write(message));
    const std::vector<std::string> expected = {
        lines[0],
        "From: Camera Name <me@example.test>",
        "Subject: plain subject",
        lines[3],
        "X-Priority: 3",
        "MIME-Version: 1.0",
        "Content-Type: text/plain;",
        "\tcharset=\"shift_jis\"",
        "Content-Transfer-Encoding: 8bit",
        "",
        "hello",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(MimeMessageTest, TextLinesStayWithin998BytesAndLeadingDotsAreDoubled) {
    {
        CMimeTextPart part(std::string(2000, 'x'), "iso-8859-1");
        const auto lines = TextBodyLines(part, SmtpForm);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0].size(), 998u);
        EXPECT_EQ(lines[1].size(), 998u);
        EXPECT_EQ(lines[2].size(), 4u);
    }
    {
        CMimeTextPart part(".\r\n.hidden\r\nnot.first\r\n.", "iso-8859-1");
        EXPECT_EQ(TextBodyLines(part, SmtpForm),
                  (std::vector<std::string>{"..", "..hidden", "not.first", ".."}));
        EXPECT_EQ(TextBodyLines(part, 0),
                  (std::vector<std::string>{".", ".hidden", "not.first", "."}));
    }
    {
        // A bare LF or CR must not let a server see ".\r\n" or "\n.\n" as the end of data.
        CMimeTextPart part("a\n.\nb\rc", "iso-8859-1");
        EXPECT_EQ(TextBodyLines(part, SmtpForm), (std::vector<std::string>{"a", "..", "b", "c"}));
    }
    {
        // The break never falls between the two bytes of a Shift_JIS character.
        const std::string sjis = std::string(997, 'a') + text::Utf8ToSjis("画") + "b";
        CMimeTextPart part(sjis, "shift_jis");
        const auto lines = TextBodyLines(part, SmtpForm);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], std::string(997, 'a'));
        EXPECT_EQ(lines[1], text::Utf8ToSjis("画") + "b");
    }
}

TEST_F(MimeMessageTest, LongTextIsStagedInBlocks) {
    CMimeTextPart part(std::string(20000, 'y'), "iso-8859-1");
    StringStream stream;
    ASSERT_TRUE(part.WriteTo(stream, "", SmtpForm));
    EXPECT_GE(stream.writes(), 5);
    for (const std::string& line : SplitCrLf(stream.bytes()))
        EXPECT_LE(line.size(), 998u);
}

TEST_F(MimeMessageTest, Base64AttachmentLinesAtBlockEdges) {
    auto fullLines = [](std::size_t n, std::size_t last) {
        std::vector<std::size_t> lengths(n, 76);
        lengths.push_back(last);
        return lengths;
    };
    struct Case {
        std::size_t size;
        std::vector<std::size_t> lineLengths; // a 0 is the empty line after the data
    };
    const Case cases[] = {
        {0, {0}},
        {57, {76, 0}},
        {58, {76, 4}},
        {5700, fullLines(100, 0)},
        {5701, fullLines(100, 4)},
        {11400, fullLines(200, 0)},
    };
    for (const Case& c : cases) {
        const auto path = m_dir.path() / ("f" + std::to_string(c.size) + ".bin");
        const std::string bytes = JpegLikeBytes(c.size, static_cast<unsigned>(c.size));
        TempDir::WriteFile(path, bytes);
        CMimeFilePart part(path.string(), kTransferBase64, "application/octet-stream",
                           "iso-8859-1");
        StringStream stream;
        ASSERT_TRUE(part.WriteTo(stream, "", SmtpForm));
        const std::string& all = stream.bytes();
        const std::vector<std::string> lines = SplitCrLf(all.substr(all.find("\r\n\r\n") + 4));
        std::string joined;
        std::vector<std::size_t> lengths;
        for (const auto& line : lines) {
            joined += line;
            lengths.push_back(line.size());
        }
        EXPECT_EQ(joined, Base64(bytes.substr(0, c.size))) << c.size;
        EXPECT_EQ(lengths, c.lineLengths) << c.size;
    }
}

TEST_F(MimeMessageTest, UuencodeNamesTheFileWithoutItsFolder) {
    const auto path = m_dir.path() / "pic.jpg";
    TempDir::WriteFile(path, "abc");
    CMimeMessage message(m_service);
    message.SetSenderAddress("me@example.test");
    ASSERT_TRUE(message.AddFileAttachment(path.string(), "image/jpeg", kTransferUuencode));
    const std::string all = Write(message);
    EXPECT_NE(all.find("Content-Transfer-Encoding: uuencode\r\n"), std::string::npos);
    EXPECT_NE(all.find("\r\nbegin 666 pic.jpg\r\n#86)C\r\n`\r\nend\r\n"), std::string::npos) << all;
    EXPECT_FALSE(message.AddFileAttachment(path.string(), {}, 3));
}

TEST_F(MimeMessageTest, LongHeadersAreFoldedAndALineThatCannotFitWritesNothing) {
    for (const bool overlong : {false, true}) {
        CMimeMessage message(m_service);
        message.SetSenderAddress("me@example.test");
        for (int i = 0; i < 40; ++i)
            message.AddToRecipient("recipient" + std::to_string(i) + "@example.test");
        if (overlong)
            message.AddToRecipient(std::string(1000, 'a') + "@example.test");
        message.AddTextPart("x");
        StringStream stream;
        EXPECT_EQ(message.WriteTo(stream, SmtpForm), !overlong);
        EXPECT_EQ(stream.bytes().empty(), overlong);
        for (const std::string& line : SplitCrLf(stream.bytes()))
            EXPECT_LE(line.size(), 76u) << line;
    }
}

TEST_F(MimeMessageTest, MissingAttachmentFailsTheMessage) {
    CMimeMessage message(m_service);
    message.SetSenderAddress("me@example.test");
    message.AddTextPart("text");
    ASSERT_TRUE(message.AddFileAttachment((m_dir.path() / "gone.jpg").string()));
    StringStream stream;
    EXPECT_FALSE(message.WriteTo(stream, SmtpForm));
    EXPECT_EQ(stream.bytes().find("gone.jpg"), std::string::npos);
}

TEST_F(MimeMessageTest, RecipientsAndEnvelope) {
    CMimeMessage message(m_service);
    EXPECT_EQ(message.EnvelopeRecipients(), "");
    EXPECT_FALSE(message.AddToRecipient(""));
    EXPECT_TRUE(message.AddToRecipient("a@x.test"));
    EXPECT_TRUE(message.AddToRecipient("c@x.test", "Say \"Hi\", Bob"));
    EXPECT_TRUE(message.AddToRecipient("d@x.test", "日本"));
    EXPECT_TRUE(message.AddToRecipient("", "Only Name"));
    const std::string unfolded = std::regex_replace(message.ToList(), std::regex("\r\n "), " ");
    EXPECT_EQ(unfolded, "<a@x.test>, \"Say \\\"Hi\\\", Bob\" <c@x.test>, " + EncodedWord("日") +
                            " " + EncodedWord("本") + " <d@x.test>, Only Name");
    EXPECT_EQ(message.EnvelopeRecipients(), "a@x.test,c@x.test,d@x.test");
}

TEST_F(MimeMessageTest, LineBreaksCannotAddHeaderLines) {
    CMimeMessage message(m_service);
    EXPECT_FALSE(message.AddToRecipient("a@x.test\r\nBcc: spy@evil.test"));
    EXPECT_FALSE(message.AddToRecipient("a@x.test>\r\n"));
    EXPECT_FALSE(message.SetSenderAddress("me@x.test\r\nRCPT TO:<spy@evil.test>"));
    EXPECT_TRUE(message.SetSenderAddress("me@x.test"));
    EXPECT_TRUE(message.AddToRecipient("a@x.test", "Name\r\nBcc: spy@evil.test"));
    EXPECT_TRUE(message.SetSenderDisplayName("Me\r\nBcc: spy@evil.test"));
    EXPECT_TRUE(message.SetSubjectText("Hello\r\nBcc: spy@evil.test\r\n"));
    message.AddTextPart("body");
    for (const std::string& line : SplitCrLf(Write(message)))
        EXPECT_NE(line.rfind("Bcc:", 0), 0u) << line;
    EXPECT_EQ(message.EnvelopeRecipients(), "a@x.test");
}

TEST_F(MimeMessageTest, WithoutServiceNamesCannotBeConverted) {
    CMimeMessage message(m_service);
    ASSERT_TRUE(message.SetCodePageService(nullptr)); // creates its own
    CMimeHeaderPart empty;
    std::string header = "x";
    EXPECT_TRUE(empty.MakePartHeader("b", header));
    EXPECT_TRUE(header.empty());
    EXPECT_FALSE(message.SetPriorityLevel(-1));
    EXPECT_FALSE(message.AddFileAttachment(std::string(261, 'a')));
    EXPECT_FALSE(message.SetSubjectText("x", 1234)); // a code page the service does not know
}

TEST_F(MimeMessageTest, CloneWritesTheSameMessage) {
    CMimeMessage message(m_service);
    message.SetSenderAddress("me@x.test");
    message.AddToRecipient("a@x.test");
    message.SetSubjectText("キャプチャ画像");
    message.AddTextPart("本文");
    auto copy = message.Clone();
    StringStream a, b;
    ASSERT_TRUE(message.WriteTo(a, "", SmtpForm));
    ASSERT_TRUE(copy->WriteTo(b, "", SmtpForm));
    // The Date lines may differ by a second; each message is written with a Message-ID of its own.
    const std::regex varying("(Date|Message-ID): [^\r]*");
    EXPECT_EQ(std::regex_replace(a.bytes(), varying, "$1"),
              std::regex_replace(b.bytes(), varying, "$1"));
}

} // namespace

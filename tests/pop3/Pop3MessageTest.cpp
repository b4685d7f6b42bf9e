#include "mail/pop3/Pop3Message.h"

#include <gtest/gtest.h>

namespace {

CPop3Message MessageOf(std::string text) {
    CPop3Message m;
    m.SetText(std::move(text));
    return m;
}

struct FieldCase {
    const char* text;
    const char* name;
    int occurrence;
    const char* value;
};

const FieldCase kFieldCases[] = {
    // folded onto a line that begins with a tab, field name in lower case
    {"From: a@example.com\r\nsubject: Hello\r\n\tWorld\r\n\r\nbody", "Subject", 0, "Hello World"},
    // a field on the very first line
    {"Subject: first\r\nFrom: x\r\n\r\n", "Subject", 0, "first"},
    // a name that only ends in the wanted one does not match
    {"X-Subject: wrong\r\nSubject: right\r\n\r\n", "Subject", 0, "right"},
    // absent field; second occurrence of a field present once
    {"From: x\r\n\r\nSubject: in the body\r\n", "Subject", 0, ""},
    {"Subject: once\r\n\r\n", "Subject", 1, ""},
    {"Received: one\r\nReceived: two\r\n  more\r\nReceived: three\r\n\r\n", "Received", 1,
     "two  more"},
    // white space around the value goes, tabs inside become blanks
    {"Subject: \t cap \t \r\n\r\n", "Subject", 0, "cap"},
    {"Subject: a\tb\r\n\r\n", "Subject", 0, "a b"},
    // a trailing full-width space is a character, not white space
    {"Subject: cap\xE3\x80\x80\r\n\r\n", "Subject", 0, "cap\xE3\x80\x80"},
    // no blank line: the whole text is the header; the last field ends at the end
    {"From: x\r\nSubject: last", "Subject", 0, "last"},
    {"Subject:\r\n\r\n", "Subject", 0, ""},
};

TEST(Pop3Message, HeaderFieldUnfoldsTrimsAndMatchesNamesWithoutCase) {
    for (const auto& c : kFieldCases) {
        EXPECT_EQ(MessageOf(c.text).HeaderField(c.name, c.occurrence), c.value)
            << c.text << " / " << c.name << " #" << c.occurrence;
    }
}

TEST(Pop3Message, SectionsSplitAtTheFirstBlankLine) {
    auto m = MessageOf("A: 1\r\nB: 2\r\n\r\nbody\r\n\r\nmore");
    EXPECT_EQ(m.HeaderSection(), "A: 1\r\nB: 2");
    EXPECT_EQ(m.BodySection(), "body\r\n\r\nmore");
    auto headerOnly = MessageOf("A: 1\r\nB: 2\r\n");
    EXPECT_EQ(headerOnly.HeaderSection(), "A: 1\r\nB: 2\r\n");
    EXPECT_EQ(headerOnly.BodySection(), "");
}

TEST(Pop3Message, ReplyAddressFallsBackInOrder) {
    EXPECT_EQ(MessageOf("From: f\r\nReply-To: r\r\n\r\n").ReplyAddressField(), "r");
    EXPECT_EQ(MessageOf("Sender: s\r\nFrom: f\r\n\r\n").ReplyAddressField(), "f");
    EXPECT_EQ(MessageOf("Return-Path: <p>\r\nSender: s\r\n\r\n").ReplyAddressField(), "s");
    EXPECT_EQ(MessageOf("Return-Path: <p>\r\n\r\n").ReplyAddressField(), "<p>");
    EXPECT_EQ(MessageOf("").ReplyAddressField(), "");
}

TEST(Pop3Message, ClearEmptiesTheText) {
    auto m = MessageOf("Subject: x\r\n\r\n");
    m.Clear();
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(m.SubjectField(), "");
}

} // namespace

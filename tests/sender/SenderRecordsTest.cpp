// The pure parts of the sender check as tables: canonical forms, the DKIM-Signature and key
// records, Authentication-Results and which of them is believed, and domain alignment.

#include "mail/dkim/AuthenticationResults.h"
#include "mail/dkim/DkimRecords.h"
#include "mail/dkim/DkimVerifier.h"
#include "mail/dkim/DomainAlignment.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

// count copies of pattern, its %d the copy's number.
std::string Repeated(const char* pattern, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        char piece[32];
        std::snprintf(piece, sizeof piece, pattern, static_cast<int>(i));
        out += piece;
    }
    return out;
}

} // namespace

TEST(SenderRecords, CanonicalFormsOfHeaderAndBody) {
    // The example of RFC 6376 section 3.4.5.
    const std::string message = "A: X\r\nB : Y\t\r\n\tZ  \r\n\r\n C \r\nD \t E\r\n\r\n\r\n";
    const auto parts = dkim::SplitMessage(message);
    ASSERT_TRUE(parts);
    ASSERT_EQ(parts->fields.size(), 2u);
    EXPECT_EQ(dkim::CanonicalHeader(parts->fields[0], true), "a:X\r\n");
    EXPECT_EQ(dkim::CanonicalHeader(parts->fields[1], true), "b:Y Z\r\n");
    EXPECT_EQ(dkim::CanonicalHeader(parts->fields[1], false), "B : Y\t\r\n\tZ  \r\n");
    EXPECT_EQ(dkim::CanonicalBody(parts->body, true), " C\r\nD E\r\n");
    EXPECT_EQ(dkim::CanonicalBody(parts->body, false), " C \r\nD \t E\r\n");
    EXPECT_EQ(dkim::CanonicalBody("", false), "\r\n");
    EXPECT_EQ(dkim::CanonicalBody("\r\n\r\n", true), "");
    EXPECT_FALSE(dkim::SplitMessage("no colon here\r\n\r\n"));
}

TEST(SenderRecords, WhichSignatureFieldsAreRead) {
    const std::string base = "v=1; a=rsa-sha256; d=Example.COM; s=sel; h=From:Subject; bh=AAAA; b=AAAA";
    struct Row {
        std::string value;
        bool read;
    } rows[] = {
        {base, true},
        {base + "; c=relaxed/relaxed; l=12; x=99; t=1; i=@example.com", true},
        {" v = 1 ;\r\n a=ed25519-sha256; d=example.com; s=sel; h=from; bh=AA\r\n AA; b=AAAA", true},
        {"v=2; a=rsa-sha256; d=e.com; s=s; h=from; bh=AAAA; b=AAAA", false},
        {"v=1; a=rsa-sha1; d=e.com; s=s; h=from; bh=AAAA; b=AAAA", false},
        {"v=1; a=rsa-sha256; s=s; h=from; bh=AAAA; b=AAAA", false},          // no d=
        {base + "; d=other.com", false},                                     // a tag twice
        {base + "; l=1234567890123", false},                                 // 13 digits
        {"v=1; a=rsa-sha256; d=e.com; s=s; h=from; bh=AAAA; b=A===", false}, // bad base64
        {base + "; c=fancy", false},
        {base + "; novalue", false},
        // The bounds: 64 tags (base has 7) and 256 names in h=.
        {base + Repeated("; x%d=1", dkim::kMaxTags - 7), true},
        {base + Repeated("; x%d=1", dkim::kMaxTags - 6), false},
        {"v=1; a=rsa-sha256; d=e.com; s=s; bh=AAAA; b=AAAA; h=from" +
             Repeated(":x%d", dkim::kMaxSignedFields - 1),
         true},
        {"v=1; a=rsa-sha256; d=e.com; s=s; bh=AAAA; b=AAAA; h=from" +
             Repeated(":x%d", dkim::kMaxSignedFields),
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        const auto signature = dkim::ParseSignature(row.value);
        EXPECT_EQ(signature.has_value(), row.read);
        if (signature && row.value == base) {
            EXPECT_EQ(signature->domain, "example.com");
            EXPECT_EQ(signature->signedHeaders, (std::vector<std::string>{"from", "subject"}));
        }
    }
}

TEST(SenderRecords, WhichKeyRecordsAreRead) {
    struct Row {
        std::string text;
        bool read;
        bool revoked = false;
        bool testing = false;
    } rows[] = {
        {"v=DKIM1; k=rsa; p=AAAA", true},
        {"p=AAAA", true},
        {"v=DKIM1; p=", true, true},
        {"k=rsa; v=DKIM1; p=AAAA", false}, // v= not first
        {"v=DKIM1; k=rsa", false},
        {"v=DKIM1; p=@@@@", false},
        {"v=DKIM1; t=y; p=AAAA", true, false, true},
        {"v=DKIM1; t = s : Y ; p=AAAA", true, false, true},
        {"v=DKIM1; t=s; p=AAAA", true, false, false},
        {"p=AAAA" + Repeated("; x%d=1", dkim::kMaxTags), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto key = dkim::ParseKeyRecord(row.text);
        ASSERT_EQ(key.has_value(), row.read);
        if (key) {
            EXPECT_EQ(key->publicKey.empty(), row.revoked);
            EXPECT_EQ(key->testing, row.testing);
        }
    }
}

TEST(SenderRecords, OnlyTheTopMostFieldOfTheTrustedIdIsBelieved) {
    const std::string pass = "mx.trusted.test; dmarc=pass header.from=example.com";
    struct Row {
        const char* name;
        std::vector<std::string> fields; // top first
        bool believed;
    } rows[] = {
        {"trusted pass", {pass}, true},
        {"letter case of id and domain",
         {"MX.Trusted.Test; DMARC=pass header.from=EXAMPLE.com"},
         true},
        {"comments, version, other methods, base64 values",
         {"mx.trusted.test 1 (ok); spf=pass smtp.mailfrom=example.com; dkim/1=pass "
          "header.b=Ab/+=; dmarc=pass (p=reject) header.from=example.com"},
         true},
        {"under another id", {"evil.test; dmarc=pass header.from=example.com"}, false},
        {"below the trusted id's fail",
         {"mx.trusted.test; dmarc=fail header.from=example.com", pass},
         false},
        {"below an unreadable field of the trusted id", {"mx.trusted.test; dmarc", pass}, false},
        {"another From domain", {"mx.trusted.test; dmarc=pass header.from=example.org"}, false},
        {"none", {"mx.trusted.test; none"}, false},
        {"quoted id after a comment",
         {"(by us) \"mx.trusted.test\"; dmarc=pass header.from=example.com"},
         true},
        // The trusted server quotes the envelope sender as it came: the field cannot be read
        // whole, and one the sender wrote below it is not believed.
        {"unbalanced quote in the trusted field",
         {"mx.trusted.test; spf=pass smtp.mailfrom=\"a(b@x; dmarc=pass header.from=example.com",
          pass},
         false},
        {"unbalanced comment in the trusted field",
         {"mx.trusted.test; spf=pass smtp.mailfrom=a(b@x", pass},
         false},
        {"a field whose id cannot be read", {"(unended mx.trusted.test;", pass}, false},
        {"an unreadable field of another id",
         {"evil.test; spf=pass smtp.mailfrom=\"a(b@x", pass},
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<std::string_view> values(row.fields.begin(), row.fields.end());
        EXPECT_EQ(authres::TrustedDmarcPass(values, "mx.trusted.test", "example.com"),
                  row.believed);
        EXPECT_FALSE(authres::TrustedDmarcPass(values, "", "example.com"));
    }
}

TEST(SenderRecords, RelaxedAlignmentFollowsThePublicSuffixList) {
    struct Row {
        const char* signer;
        const char* from;
        bool aligned;
    } rows[] = {
        {"example.com", "example.com", true},
        {"mail.example.com", "example.com", true},
        {"example.com", "Sub.Example.COM.", true},
        {"example.org", "example.com", false},
        {"evil.co.jp", "owner.co.jp", false}, // co.jp is a public suffix
        {"docomo.ne.jp", "docomo.ne.jp", true},
        {"", "example.com", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.signer) + " / " + row.from);
        EXPECT_EQ(alignment::RelaxedAligned(row.signer, row.from), row.aligned);
    }
}

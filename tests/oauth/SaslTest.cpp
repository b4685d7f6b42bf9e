// The bearer-token mechanisms as bytes: the responses, the choice among offered mechanisms,
// which tokens may go on a command line, and what a report shows of an error challenge.
#include "mail/net/Sasl.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(Sasl, ResponsesCarryUserAndToken) {
    EXPECT_EQ(sasl::InitialResponse(BearerMechanism::XOAuth2, "me@example.com", "ya29.a-b"),
              std::string("user=me@example.com\x01" "auth=Bearer ya29.a-b\x01\x01"));
    EXPECT_EQ(sasl::InitialResponse(BearerMechanism::OAuthBearer, "me,x=y@example.com", "t0k"),
              std::string("n,a=me=2Cx=3Dy@example.com,\x01" "auth=Bearer t0k\x01\x01"));
    EXPECT_EQ(sasl::ErrorChallengeReply(BearerMechanism::XOAuth2), "");
    EXPECT_EQ(sasl::ErrorChallengeReply(BearerMechanism::OAuthBearer), std::string(1, '\x01'));
}

TEST(Sasl, OAuthBearerFirstXOAuth2WhereAlone) {
    const struct {
        std::set<std::string_view> offered;
        std::optional<BearerMechanism> chosen;
    } cases[] = {
        {{"PLAIN", "XOAUTH2", "OAUTHBEARER"}, BearerMechanism::OAuthBearer},
        {{"OAUTHBEARER"}, BearerMechanism::OAuthBearer},
        {{"PLAIN", "XOAUTH2"}, BearerMechanism::XOAuth2},
        {{"PLAIN", "LOGIN"}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sasl::ChooseBearer([&](std::string_view name) { return c.offered.count(name); }),
                  c.chosen);
    }
}

TEST(Sasl, OnlyB64TokenCharactersGoOnALine) {
    const struct {
        std::string_view token;
        bool usable;
    } cases[] = {
        {"ya29.A0-b_c~d+e/f==", true}, {"EwBwA8l6BAAU", true}, {"", false},
        {"==", false},                 {"a b", false},         {"a\r\nQUIT", false},
        {"a=b", false},                {"a\x01", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sasl::UsableToken(c.token), c.usable) << c.token;
}

TEST(Sasl, ChallengeIsShownDecodedAndBounded) {
    const struct {
        std::string challenge;
        std::string shown;
    } cases[] = {
        {"eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=", R"({"status":"invalid_token"})"},
        {"eyJzdGF0dXMiOiI0MDEifQ==\r\n", R"({"status":"401"})"},
        {"AXsiYSI6Ils=", "{\"a\":\"["}, // control bytes dropped
        {"not base64!", ""},
        {"abc", ""},
        {"", ""},
        {std::string(400, 'Q') + "==", std::string()}, // not a multiple of four
        {std::string(64, '='), ""},                    // padding alone (read past the end once)
        {"e===", ""},
        {"e=Q=", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sasl::DescribeChallenge(c.challenge), c.shown) << c.challenge;
    EXPECT_EQ(sasl::DescribeChallenge(std::string(400, 'e')).size(), 200u);
}

} // namespace

// The fixed texts of a reply and the sender address rule of the check cycle.

#include "app/service/MailService.h"
#include "app/service/ReplySender.h"

#include <gtest/gtest.h>

TEST(ReplyText, DateHasNoLeadingZerosInTheDateButTwoDigitTimes) {
    struct Case {
        LocalTime time;
        const char* date;
    };
    const Case cases[] = {
        {{2026, 12, 6, 0, 15, 47, 44}, "2026年12月6日(日)15時47分44秒"},
        {{2026, 1, 5, 1, 9, 3, 7}, "2026年1月5日(月)09時03分07秒"},
        {{2027, 2, 27, 6, 0, 0, 0}, "2027年2月27日(土)00時00分00秒"},
        {{2026, 3, 31, 2, 23, 59, 59}, "2026年3月31日(火)23時59分59秒"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplyDateText(c.time), c.date);
}

TEST(ReplyText, BodyIsTheDateFollowedByTheFixedSentence) {
    EXPECT_EQ(ReplyBodyText({2026, 12, 6, 0, 15, 47, 44}),
              "2026年12月6日(日)15時47分44秒現在の画像です。\r\n");
}

TEST(SenderAddress, TakesTheBracketedAddressElseTheValueWithoutComments) {
    struct Case {
        const char* from;
        const char* address;
    };
    const Case cases[] = {
        {"taro@example.com", "taro@example.com"},
        {"Taro Yamada <taro@example.com>", "taro@example.com"},
        {"=?ISO-2022-JP?B?GyRCOzMbKEI=?= <taro@example.com>", "taro@example.com"},
        {"<a@example.com> <b@example.com>", "a@example.com"},
        {"Taro <taro@example.com", ""}, // a bracket left open: no address
        {"taro@example.com (Taro)", "taro@example.com"},
        {"\"Yamada, Taro <t@x>\" <taro@example.com>", "taro@example.com"},
        {"x> Taro <taro@example.com>", "taro@example.com"}, // a ">" before the "<" is text
        {"<>", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CMailService::SenderAddress(c.from), c.address) << c.from;
}

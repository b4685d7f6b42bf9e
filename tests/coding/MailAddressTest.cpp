#include "mail/mime/MailAddress.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(MailboxAddress, TakesTheAddressOfEveryFormOfOneMailbox) {
    const struct {
        const char* value;
        const char* address;
    } cases[] = {
        {"Taro Yamada <taro@example.com>", "taro@example.com"},
        {"\"Yamada, Taro\" <taro@example.com>", "taro@example.com"},
        {"\"a <b@evil.test>\" <taro@example.com>", "taro@example.com"},
        {"=?UTF-8?B?5bGx55Sw?= <taro@example.com>", "taro@example.com"},
        {"山田 <taro@example.com>", "taro@example.com"},
        {"taro@example.com (Taro <x>, Yamada)", "taro@example.com"},
        {"(comment (nested)) taro@example.com", "taro@example.com"},
        {"taro@example.com", "taro@example.com"},
        {"  < taro@example.com >  ", "taro@example.com"},
        {"Taro <@relay.test,@other.test:taro@example.com>", "taro@example.com"},
        {"<taro@example.com> (trailing)", "taro@example.com"},
        {"Taro Yamada taro@example.com", "Taro Yamada taro@example.com"},
        {"Taro <taro@example.com", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mailbox::AddressOf(c.value), c.address) << c.value;
}

TEST(MailboxAddress, PlainAddressesAreTheOnesAReplyCanGoTo) {
    const struct {
        const char* address;
        bool plain;
    } cases[] = {
        {"taro@example.com", true},
        {"taro.yamada+cam@mail.example.co.jp", true},
        {"taro..yamada.@docomo.ne.jp", true}, // as Japanese carriers hand them out
        {"root@[192.0.2.1]", true},
        {"taro", false},
        {"@example.com", false},
        {"taro@", false},
        {"taro@exa mple.com", false},
        {"taro@example..com", false},
        {"\"taro yamada\"@example.com", false},
        {"a,b@example.com", false},
        {"a(c)@example.com", false},
        {"taro@example.com\r\nRCPT TO:<x@y>", false},
        {"山田@example.jp", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mailbox::IsPlainAddress(c.address), c.plain) << c.address;
}

} // namespace

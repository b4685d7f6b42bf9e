#include "app/settings/PasswordCipher.h"

#include "tests/settings/MessageCapture.h"

#include <gtest/gtest.h>

namespace {

// Expected values computed outside this program, with OpenSSL:
//   printf 'Zq7LmR2xWvB9kTn4PsYc8HdJf3GaEu' | openssl md5   -> 93775dd304e7be6f6054fe3767ba5942
//   printf 'p@ss%%word!\0' | openssl enc -rc4 -provider legacy -provider default
//       -K 93775dd304e7be6f6054fe3767ba5942 | xxd -p -u     (one command line)
// and cross-checked with Python (hashlib.md5 and a ten-line RC4) on the code page 932 bytes:
//   rc4(md5(PassPhrase), password.encode('cp932') + b'\0').hex().upper()
struct Vector {
    const char* password;
    const char* stored;
};
const Vector kVectors[] = {
    {"p@ss%word!", "43EB35DD60CD089F8D15C6"},
    {"パスワード", "B0DBC5F6C635E6B66A5CC6"}, // code page 932 bytes are enciphered
    {"", "33"},                               // the terminating zero alone
};

TEST(PasswordCipher, KnownVectorsBothWays) {
    MessageCapture sink;
    for (const Vector& v : kVectors) {
        EXPECT_EQ(EncipherPassword(v.password, sink), v.stored) << v.password;
        EXPECT_EQ(DecipherPassword(v.stored, sink), v.password) << v.stored;
    }
    EXPECT_TRUE(sink.messages.empty());
}

TEST(PasswordCipher, PunctuationRoundTripsAndLengthIsTwoPerBytePlusTwo) {
    MessageCapture sink;
    const std::string password = R"(%s%d "'\=[]; <>&|`$~^!#)";
    std::string stored = EncipherPassword(password, sink);
    EXPECT_EQ(stored.size(), 2 * password.size() + 2);
    EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(DecipherPassword(stored, sink), password);
}

TEST(PasswordCipher, LowerCaseHexDoesNotDecipher) {
    MessageCapture sink;
    EXPECT_NE(DecipherPassword("43eb35dd60cd089f8d15c6", sink), "p@ss%word!");
}

TEST(PasswordCipher, OddLastCharacterIsIgnored) {
    MessageCapture sink;
    EXPECT_EQ(DecipherPassword("43EB35DD60CD089F8D15C6F", sink), "p@ss%word!");
}

TEST(PasswordCipher, LongestStorablePasswordOnlyAndLongerRefused) {
    MessageCapture sink;
    std::string longest(kMaxPasswordBytes, 'x');
    std::string stored = EncipherPassword(longest, sink);
    EXPECT_EQ(stored.size(), 1022u); // still fits the 1023 bytes a setting can hold
    EXPECT_EQ(DecipherPassword(stored, sink), longest);
    EXPECT_TRUE(sink.messages.empty());

    EXPECT_EQ(EncipherPassword(longest + "x", sink), "");
    ASSERT_EQ(sink.messages.size(), 1u);
    // Counted in code page 932: 256 two-byte characters are 512 bytes.
    std::string japanese;
    for (int i = 0; i < 256; ++i)
        japanese += "あ";
    EXPECT_EQ(EncipherPassword(japanese, sink), "");
    EXPECT_EQ(sink.messages.size(), 2u);
}

} // namespace

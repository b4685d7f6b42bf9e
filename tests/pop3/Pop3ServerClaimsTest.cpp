// What a server claims must not decide how much memory the client takes before the data is
// there (cases found by fuzzing the reply readers).

#include "mail/pop3/Pop3Client.h"
#include "tests/support/ScriptedServer.h"

#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(Pop3ServerClaims, HugeMessageCountReservesOnlyWhatTheListingHolds) {
    const std::string count = std::to_string(INT_MAX);
    ScriptedServer server({"S: +OK POP3 ready","C: CAPA", "S: -ERR", "C: USER user", "S: +OK", "C: PASS secret",
                           "S: +OK", "C: STAT", "S: +OK " + count + " 9", "C: LIST",
                           "R: +OK\r\n1 4\r\n2 5\r\n.\r\n", "C: QUIT", "S: +OK"});
    CPop3Client client;
    ASSERT_TRUE(client.LogIn("127.0.0.1", "user", "secret", server.port()));
    uint32_t size = 0;
    ASSERT_TRUE(client.MessageSize(2, size));
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(client.MessageCount(), INT_MAX);
    EXPECT_EQ(client.MessageSizes(), (std::vector<uint32_t>{4, 5}));
    EXPECT_LE(client.MessageSizes().capacity(), 64u);
    EXPECT_TRUE(client.LogOut());
    EXPECT_EQ(server.Mismatch(), "");
}

} // namespace

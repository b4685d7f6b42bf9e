// Drives CSmtpConnection (the plain HELO path of the reply sender) against a loopback server
// that sends the fuzzer's bytes as its whole side of the dialogue and then ends the stream:
// greeting, HELO, MAIL FROM, RCPT TO, DATA, end of data, RSET; and a second Send on the same
// connection, as the reply sender retries once.

#include "fuzz/LoopbackPeer.h"
#include "mail/CodePageService.h"
#include "mail/MimeMessage.h"
#include "mail/SmtpConnection.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzpeer::Session peer =
        fuzzpeer::Session::Stream(std::string(reinterpret_cast<const char*>(data), size));
    CSmtpConnection connection(static_cast<uint16_t>(fuzzpeer::Listener::Instance().port()));
    connection.SetReplyTimeout(std::chrono::seconds(5));
    if (!connection.Open("127.0.0.1", 5000))
        return 0;

    static const std::shared_ptr<CCodePageService> codePages = CCodePageService::Create();
    CMimeMessage message(codePages);
    message.SetPriorityLevel(1);
    message.AddToRecipient("taro@example.com");
    message.AddToRecipient("hanako@example.com");
    message.SetSenderAddress("camera@example.com");
    message.SetSenderDisplayName("監視カメラ");
    message.AddTextPart("2026年12月6日(日)15時47分44秒現在の画像です。\r\n", 1);
    message.SetSubjectText("キャプチャ画像");

    if (!connection.Send(message) && connection.IsOpen())
        connection.Send(message);
    if (connection.IsOpen())
        connection.Close();
    if (connection.IsOpen())
        std::abort();
    return 0;
}

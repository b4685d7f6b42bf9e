// Drives the SMTP session against a loopback server that sends the fuzzer's bytes (after the
// first) as its whole side of the dialogue and then ends the stream. The first byte picks the
// policy: the configured path (a log-in, AUTH PLAIN or LOGIN and their challenges) or the port
// 25 path (HELO fallback, opportunistic STARTTLS). Then two mails, each retried once after a
// refusal as the reply sender does, RSET and QUIT. A failure must always say why, and a closed
// session must never take a mail.

#include "fuzz/LoopbackPeer.h"
#include "mail/text/CodePageService.h"
#include "mail/mime/MimeMessage.h"
#include "mail/smtp/SmtpSession.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const bool logIn = (data[0] & 1) != 0;
    fuzzpeer::Session peer =
        fuzzpeer::Session::Stream(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));

    SmtpPolicy policy;
    policy.tls = logIn ? SmtpTls::Clear : SmtpTls::Opportunistic;
    policy.heloFallback = !logIn;
    if (logIn)
        policy.logIn = SmtpCredentials{"camera", "secret"};
    // The peer always ends its stream, so no wait should come near this.
    policy.replyTimeout = std::chrono::seconds(5);
    CSmtpSession session;
    if (!session.Open("127.0.0.1", fuzzpeer::Listener::Instance().port(), policy)) {
        if (!session.Error() || session.IsOpen())
            std::abort();
        return 0;
    }

    static const std::shared_ptr<CCodePageService> codePages = CCodePageService::Create();
    static const auto picture = std::make_shared<const std::string>(200, '\xFF');
    for (const char* to : {"taro@example.com", "hanako@example.com"}) {
        CMimeMessage message(codePages);
        message.AddToRecipient(to);
        message.SetSenderAddress("camera@example.com");
        message.SetSenderDisplayName("監視カメラ");
        message.SetSubjectText("キャプチャ画像");
        message.AddTextPart("2026年12月6日(日)15時47分44秒現在の画像です。\r\n", 1);
        message.AddBytesAttachment("20261206154744.jpg", picture);
        const bool wasOpen = session.IsOpen();
        bool taken = session.Send(message, {to});
        if (!taken && session.IsOpen() && !session.MayHaveDelivered())
            taken = session.Send(message, {to});
        if ((taken && !wasOpen) || (!taken && !session.Error()))
            std::abort();
    }
    session.Reset();
    session.Quit();
    if (session.IsOpen())
        std::abort();
    return 0;
}

// Drives CSmtpAuthClient::Deliver against a loopback server that sends the fuzzer's bytes as
// its whole side of the dialogue and then ends the stream: greeting, EHLO, AUTH LOGIN and its
// challenges, MAIL FROM, RCPT TO (two To, one Cc, one Bcc), DATA, end of data, QUIT. Every
// failure must come back as false with a code from the client's table.

#include "fuzz/LoopbackPeer.h"
#include "mail/SmtpAuthClient.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// A small attachment, so that the multipart path runs too.
const std::string& AttachmentPath() {
    static const std::string path = [] {
        std::string p = "/tmp/km_fuzz_attachment_" + std::to_string(::getpid()) + ".jpg";
        if (std::FILE* f = std::fopen(p.c_str(), "wb")) {
            for (int i = 0; i < 200; ++i)
                std::fputc(i, f);
            std::fclose(f);
        }
        return p;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzpeer::Session peer =
        fuzzpeer::Session::Stream(std::string(reinterpret_cast<const char*>(data), size));
    CSmtpAuthClient client;
    // The peer always ends its stream, so no wait should come near this.
    client.SetReplyTimeout(std::chrono::seconds(5));
    client.SetServerEndpoint("127.0.0.1",
                             static_cast<uint16_t>(fuzzpeer::Listener::Instance().port()));
    client.SetAuthUser("camera");
    client.SetAuthPassword("secret");
    client.SetFromName("監視カメラ");
    client.SetFromAddress("camera@example.com");
    client.SetReplyAddress("camera@example.com");
    client.SetSubjectLine("キャプチャ画像");
    client.SetMailerName("KestrovaMail");
    client.SetBodyText("2026年12月6日(日)15時47分44秒現在の画像です。\r\n");
    client.AddToAddress("taro@example.com");
    client.AddToAddress("hanako@example.com", "Hanako");
    client.AddCcAddress("cc@example.com");
    client.AddBccAddress("bcc@example.com");
    client.AttachFile(AttachmentPath());

    const bool delivered = client.Deliver();
    const int code = client.ErrorCode();
    if (CSmtpAuthClient::ErrorMessageFor(code) == "Undefined error id.")
        std::abort();
    if (!delivered && code == CSmtpAuthClient::kNoError)
        std::abort(); // a failure must say why
    return 0;
}

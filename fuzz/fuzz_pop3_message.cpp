// Whole retrieved messages, as any POP3 server may send them, through the header accessors
// and the part of the mail check that reads them: Subject decoded and compared, the sender
// address taken out of From. Checks the properties the mail check relies on.

#include "app/service/MailService.h"
#include "fuzz/FuzzCheck.h"
#include "mail/pop3/Pop3Message.h"
#include "mail/text/HeaderDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool IsTrimmed(const std::string& value) {
    auto space = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    return value.empty() || (!space(value.front()) && !space(value.back()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPop3Message message;
    message.SetText(std::string(reinterpret_cast<const char*>(data), size));

    const std::string header = message.HeaderSection();
    const std::string body = message.BodySection();
    FUZZ_CHECK(header.size() <= size && body.size() <= size);
    FUZZ_CHECK(message.Text().compare(0, header.size(), header) == 0);

    for (std::string_view name : {"Subject", "From", "sUbJeCt", "X", ""}) {
        for (int occurrence = -1; occurrence < 3; ++occurrence) {
            const std::string value = message.HeaderField(name, occurrence);
            // Unfolded: no CR LF pair and no tab survives; white space trimmed at both ends.
            FUZZ_CHECK(value.find("\r\n") == std::string::npos);
            FUZZ_CHECK(value.find('\t') == std::string::npos);
            FUZZ_CHECK(IsTrimmed(value));
            FUZZ_CHECK(value.size() <= header.size());
        }
    }

    const std::string subject = mime::DecodeHeaderValue(message.SubjectField());
    FUZZ_CHECK(subject.find('\0') == std::string::npos);
    const std::string from = message.FromField();
    const std::string address = CMailService::SenderAddress(from);
    FUZZ_CHECK(address.size() <= from.size() && from.find(address) != std::string::npos);
    message.ReplyAddressField();

    message.Clear();
    FUZZ_CHECK(message.IsEmpty() && message.HeaderField("Subject").empty());
    return 0;
}

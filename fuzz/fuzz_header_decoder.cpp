// Feeds arbitrary bytes to the header decoder (raw Subject values from any mail server), the
// ISO-2022-JP reader under it and the base64 decoder, and checks a few properties that must
// hold for any input.

#include "mail/text/ContentEncoders.h"
#include "mail/text/HeaderDecoder.h"
#include "mail/text/JisHeaderEncoder.h"
#include "mail/text/TextCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Whatever the charsets and encodings claim, the text that comes out is UTF-8 without NUL.
    const std::string text = mime::DecodeHeaderValue(input);
    if (!text::IsUtf8(text) || text.find('\0') != std::string::npos)
        std::abort();

    // Every byte of ISO-2022-JP text is accounted for, and what comes out as Shift_JIS goes
    // back to ISO-2022-JP and returns unchanged when ISO-2022-JP can carry it.
    const std::string sjis = CJisHeaderEncoder::DecodeMailText(input);
    if (const auto jis = CJisHeaderEncoder::EncodeMailText(sjis)) {
        if (CJisHeaderEncoder::DecodeMailText(*jis) != sjis)
            std::abort();
    }

    // Base64 of any bytes decodes to them; any text either decodes to three bytes for every
    // four characters or is refused, without reading past it.
    const std::string base64 =
        encoders::EncodeBase64Block(input, encoders::Base64Flag::NoLineBreaks);
    if (encoders::DecodeBase64(base64) != input)
        std::abort();
    for (unsigned flags : {0u, unsigned{encoders::Base64DecodeFlag::PadOptional}}) {
        const auto bytes = encoders::DecodeBase64(input, flags);
        if (bytes && bytes->size() > input.size() / 4 * 3 + 2)
            std::abort();
    }
    return 0;
}

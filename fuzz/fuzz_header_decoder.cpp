// Feeds arbitrary bytes to the header decoder and the ISO-2022-JP decoder, which read raw
// Subject values from any mail server, and checks a few properties that must hold for any input.

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

    const std::string decoded = CJisHeaderEncoder::DecodeHeaderText(input);
    // The result holds no NUL: its callers treat it as a C text.
    if (decoded.find('\0') != std::string::npos)
        std::abort();

    const std::string sjis = CJisHeaderEncoder::JisToShiftJis(input);
    if (sjis.find('\0') != std::string::npos || sjis.find('=') != std::string::npos)
        std::abort();

    // Whatever JisToShiftJis gives, converting it back and forth must not crash either, and
    // base64 of any bytes must decode without reading past them.
    const std::string jis = CJisHeaderEncoder::ShiftJisToJis(sjis);
    CJisHeaderEncoder::MakeEncodedWord(jis);
    CJisHeaderEncoder::DecodeBase64Text(input);
    return 0;
}

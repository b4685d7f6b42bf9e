#include "app/settings/PasswordCipher.h"

#include "mail/text/TextCodec.h"

#include <array>
#include <nettle/arcfour.h>
#include <nettle/md5.h>
#include <string>

namespace {

// RC4 in one pass over data, keyed with the MD5 digest of the pass phrase (no salt): the
// 128-bit key a CryptDeriveKey of that digest gives, so the stored form matches earlier
// versions. RC4 is its own inverse.
void CryptInPlace(std::string& data) {
    std::array<uint8_t, MD5_DIGEST_SIZE> key{};
    md5_ctx md5{};
    md5_init(&md5);
    md5_update(&md5, kPassPhrase.size(), reinterpret_cast<const uint8_t*>(kPassPhrase.data()));
    md5_digest(&md5, key.size(), key.data());

    arcfour_ctx rc4{};
    arcfour_set_key(&rc4, key.size(), key.data());
    auto* bytes = reinterpret_cast<uint8_t*>(data.data());
    arcfour_crypt(&rc4, data.size(), bytes, bytes);
}

int DigitValue(char c) {
    // Digits count as themselves, every other character as its code minus 55, so only "A" to
    // "F" give hexadecimal values (lower-case letters do not).
    return (c >= '0' && c <= '9') ? c - '0' : static_cast<unsigned char>(c) - 55;
}

std::string ToHex(std::string_view data) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(data.size() * 2);
    for (unsigned char byte : data) {
        hex.push_back(kHex[byte >> 4]);
        hex.push_back(kHex[byte & 0x0F]);
    }
    return hex;
}

std::string FromHex(std::string_view hexText) {
    std::string data;
    data.reserve(hexText.size() / 2);
    for (std::size_t i = 0; i + 1 < hexText.size(); i += 2)
        data.push_back(static_cast<char>(16 * DigitValue(hexText[i]) + DigitValue(hexText[i + 1])));
    return data;
}

} // namespace

std::string EncipherSecret(std::string_view secret) {
    std::string data(secret.substr(0, secret.find('\0')));
    data.push_back('\0');
    CryptInPlace(data);
    return ToHex(data);
}

std::string DecipherSecret(std::string_view hexText) {
    std::string data = FromHex(hexText);
    CryptInPlace(data);
    return data.substr(0, data.find('\0'));
}

std::string EncipherPassword(std::string_view password, IMessageSink& sink) {
    password = password.substr(0, password.find('\0'));
    std::string data = text::Utf8ToSjis(password);
    if (data.size() > kMaxPasswordBytes) {
        sink.ShowMessage("パスワードが長すぎます。" + std::to_string(kMaxPasswordBytes) +
                         "バイトまでにしてください。");
        return {};
    }
    data.push_back('\0'); // the terminating zero is enciphered too
    CryptInPlace(data);
    return ToHex(data);
}

std::string DecipherPassword(std::string_view hexText, IMessageSink& /*sink*/) {
    std::string data = FromHex(hexText);
    CryptInPlace(data);
    return text::SjisToUtf8(std::string_view(data).substr(0, data.find('\0')));
}

// RFC 5322 2.2.3 (folding), 3.2.5 (phrase); RFC 2047 sections 2 (word and line lengths), 4
// (B and Q), 5 (where words stand, the characters of a Q word in a phrase); RFC 1468.
#include "mail/mime/MimeHeaderField.h"

#include "mail/text/AsciiCase.h"
#include "mail/text/ContentEncoders.h"
#include "mail/text/JisHeaderEncoder.h"
#include "mail/text/TextCodec.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

namespace mime {
namespace {

// Share of extended bytes (percent) from which a text goes as B words instead of Q.
constexpr std::size_t kBase64Percent = 17;
constexpr std::string_view kPhraseSpecials = "()<>[]:;@\\,.\"";

bool IsPrintableAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// True when every character a Q word would write as it is may stand in a phrase.
bool QWordFitsPhrase(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        const bool literal =
            ((c >= 33 && c <= 60) || (c >= 62 && c <= 126)) && c != '?' && c != '_';
        return !literal || std::isalnum(c) ||
               std::string_view("!*+-/").find(ch) != std::string_view::npos;
    });
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t end = std::min(text.find(' ', pos), text.size());
        if (end > pos)
            words.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return words;
}

} // namespace

HeaderField::HeaderField(std::string_view name) : m_text(std::string(name) + ":") {
    m_lineLength = m_longestLine = m_text.size();
}

void HeaderField::Fold() {
    m_text += "\r\n";
    m_lineLength = 0;
    m_lineHasToken = false;
    m_freshLine = true;
}

void HeaderField::Put(std::string_view token) {
    m_text += ' ';
    m_text += token;
    m_lineLength += 1 + token.size();
    m_longestLine = std::max(m_longestLine, m_lineLength);
    m_hasToken = m_lineHasToken = true;
    m_freshLine = false;
}

void HeaderField::AddToken(std::string_view token) {
    if (m_lineHasToken && m_lineLength + 1 + token.size() > kFoldWidth)
        Fold();
    Put(token);
}

bool HeaderField::TryPlain(std::string_view bytes, TextRole role) {
    // A text holding "=?" could be read as an encoded word, so it is encoded itself.
    if (!IsPrintableAscii(bytes) || bytes.find("=?") != std::string_view::npos)
        return false;
    if (role == TextRole::Phrase &&
        bytes.find_first_of(kPhraseSpecials) != std::string_view::npos) {
        std::string quoted = "\"";
        for (char c : bytes) {
            if (c == '\\' || c == '"')
                quoted += '\\';
            quoted += c;
        }
        quoted += '"';
        if (quoted.size() > kMaxWordLength)
            return false;
        AddToken(quoted);
        return true;
    }
    const std::vector<std::string_view> words = Words(bytes);
    if (std::any_of(words.begin(), words.end(),
                    [](std::string_view w) { return w.size() >= kFoldWidth; }))
        return false;
    for (std::string_view word : words)
        AddToken(word);
    return true;
}

void HeaderField::AddText(std::string_view bytes, std::string_view charset, TextRole role) {
    if (TryPlain(bytes, role))
        return;
    const std::string lower = ascii::Lower(charset);
    const Kind kind = lower == "shift_jis" ? Kind::ShiftJis
                      : lower == "utf-8"   ? Kind::Utf8
                                           : Kind::SingleByte;
    AddEncoded(bytes, kind, charset, role);
}

void HeaderField::AddJapaneseText(std::string_view utf8, TextRole role) {
    if (TryPlain(utf8, role))
        return;
    const std::string sjis = text::Utf8ToSjis(utf8);
    if (text::SjisToUtf8(sjis) == utf8 && CJisHeaderEncoder::EncodeMailText(sjis))
        AddEncoded(sjis, Kind::Jis, "ISO-2022-JP", role);
    else
        AddEncoded(utf8, Kind::Utf8, "UTF-8", role);
}

void HeaderField::AddEncoded(std::string_view bytes, Kind kind, std::string_view charset,
                             TextRole role) {
    bool base64 = true;
    if (kind != Kind::Jis && !bytes.empty()) {
        const std::size_t extended = encoders::CountExtendedBytes(bytes);
        base64 = extended * 100 / bytes.size() >= kBase64Percent ||
                 (role == TextRole::Phrase && !QWordFitsPhrase(bytes));
    }
    auto word = [&](std::string_view chunk) -> std::optional<std::string> {
        std::string payload(chunk);
        if (kind == Kind::Jis) {
            auto jis = CJisHeaderEncoder::EncodeMailText(chunk);
            if (!jis)
                return std::nullopt;
            payload = std::move(*jis);
        }
        if (!base64)
            return encoders::EncodeHeaderWordQ(payload, charset);
        return encoders::EncodeHeaderWordB(payload, charset);
    };
    auto charLength = [&](std::size_t i) -> std::size_t {
        const auto b = static_cast<unsigned char>(bytes[i]);
        std::size_t n = 1;
        if ((kind == Kind::ShiftJis || kind == Kind::Jis) && text::IsSjisLeadByte(b))
            n = 2;
        else if (kind == Kind::Utf8)
            n = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        return std::min(n, bytes.size() - i);
    };

    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t used = std::min(kFoldWidth, m_lineLength + 1);
        const std::size_t room = std::min(kMaxWordLength, kFoldWidth - used);
        std::string best;
        std::size_t end = i;
        while (end < bytes.size()) {
            const std::size_t next = end + charLength(end);
            auto candidate = word(bytes.substr(i, next - i));
            if (!candidate || candidate->size() > room)
                break;
            best = std::move(*candidate);
            end = next;
        }
        if (end == i) {
            if (!m_freshLine) {
                Fold();
                continue;
            }
            // Not one character fits a whole line: it goes alone, whatever its length.
            end = i + charLength(i);
            best = word(bytes.substr(i, end - i)).value_or("?");
        }
        Put(best);
        i = end;
    }
}

} // namespace mime

#include "mail/text/TextCodec.h"

#include "mail/text/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <memory>
#include <type_traits>

namespace text {
namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

IconvHandle OpenConverter(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    return IconvHandle(cd);
}

// Converts in one pass; on an input sequence the target cannot take, writes `replacement`
// and skips `skipOnError(in, left)` bytes of the input.
template <typename Skip>
std::string Convert(const char* to, const char* from, std::string_view input,
                    std::string_view replacement, Skip skipOnError) {
    thread_local struct Cache {
        std::string to, from;
        IconvHandle cd;
    } cache;
    if (!cache.cd || cache.to != to || cache.from != from) {
        cache.cd = OpenConverter(to, from);
        cache.to = to;
        cache.from = from;
    }
    std::string out;
    if (!cache.cd) {
        // No converter: keep the ASCII part, which both encodings share.
        for (char c : input)
            out += (static_cast<unsigned char>(c) < 0x80) ? c : '?';
        return out;
    }
    iconv_t cd = cache.cd.get();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);

    out.resize(input.size() * 2 + 16);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    size_t used = 0;
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        size_t outLeft = out.size() - used;
        size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ or EINVAL: an unconvertible or incomplete sequence.
        out.resize(used);
        out.append(replacement);
        size_t skip = skipOnError(in, inLeft);
        in += skip;
        inLeft -= skip;
        used = out.size();
        out.resize(used + inLeft * 2 + 16);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return out;
}

// Length of the UTF-8 sequence starting at p, at least 1 and never past the input.
size_t Utf8SequenceLength(const char* p, size_t left) {
    unsigned char b = static_cast<unsigned char>(p[0]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
    if (n > left)
        return 1;
    for (size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80)
            return 1;
    return n;
}

// Names mail uses for code page 932 and its JIS X 0208 subset; Windows mail programs label
// CP932 text "shift_jis", so the superset reads it all.
bool IsShiftJisName(std::string_view lower) {
    static constexpr std::string_view kNames[] = {"shift_jis", "shift-jis",   "sjis",
                                                  "x-sjis",    "ms_kanji",    "csshiftjis",
                                                  "cp932",     "windows-31j", "ms932"};
    return std::find(std::begin(kNames), std::end(kNames), lower) != std::end(kNames);
}

// A charset name as RFC 2978 writes them (also "." and ":" of names like "ISO_8859-1:1987").
// Anything else, '/' above all, could pass options to iconv ("UTF-8//IGNORE").
bool IsPlainCharsetName(std::string_view name) {
    return !name.empty() && name.size() <= 40 && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("!#$%&'+-^_`{}~.:").find(c) != std::string_view::npos;
    });
}

} // namespace

bool CodePageAvailable() {
    return OpenConverter("CP932", "UTF-8") != nullptr && OpenConverter("UTF-8", "CP932") != nullptr;
}

std::string Utf8ToSjis(std::string_view utf8) {
    return Convert("CP932", "UTF-8", utf8, "?", Utf8SequenceLength);
}

std::string SjisToUtf8(std::string_view sjis) {
    return Convert("UTF-8", "CP932", sjis, "\xEF\xBF\xBD", [](const char* p, size_t left) {
        // Skip the whole pair when a lead byte has a trail byte behind it, else one byte.
        return (IsSjisLeadByte(static_cast<unsigned char>(*p)) && left >= 2) ? size_t{2}
                                                                             : size_t{1};
    });
}

std::string Utf8ToLatin1(std::string_view utf8) {
    return Convert("ISO-8859-1", "UTF-8", utf8, "?", Utf8SequenceLength);
}

std::string Latin1ToUtf8(std::string_view latin1) {
    // Every byte is a valid Latin-1 character, so no error path is taken.
    return Convert("UTF-8", "ISO-8859-1", latin1, "?",
                   [](const char*, size_t) { return size_t{1}; });
}

std::optional<std::string> CharsetToUtf8(std::string_view bytes, std::string_view charset) {
    if (!IsPlainCharsetName(charset))
        return std::nullopt;
    const std::string lower = ascii::Lower(charset);
    const std::string from = IsShiftJisName(lower) ? "CP932" : lower;
    if (!OpenConverter("UTF-8", from.c_str()))
        return std::nullopt;
    return Convert("UTF-8", from.c_str(), bytes, "\xEF\xBF\xBD",
                   [](const char*, size_t) { return size_t{1}; });
}

bool IsUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > bytes.size())
            return false;
        std::uint32_t code = b & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const auto t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (t & 0x3F);
        }
        static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

std::string_view CutSjis(std::string_view sjis, std::size_t maxBytes) {
    if (sjis.size() <= maxBytes)
        return sjis;
    size_t i = 0;
    while (i < maxBytes) {
        size_t step = IsSjisLeadByte(static_cast<unsigned char>(sjis[i])) ? 2 : 1;
        if (i + step > maxBytes)
            break;
        i += step;
    }
    return sjis.substr(0, i);
}

bool FitsSjis(std::string_view utf8) {
    return SjisToUtf8(Utf8ToSjis(utf8)) == utf8;
}

} // namespace text

#include "mail/dkim/DkimRecords.h"

#include "mail/text/AsciiCase.h"
#include "mail/text/ContentEncoders.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace dkim {
namespace {

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string WithoutWhiteSpace(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (!IsWhiteSpace(c))
            out += c;
    }
    return out;
}

bool IsTagName(std::string_view name) {
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0])))
        return false;
    return std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '_';
    });
}

// Section 3.5: at most 12 digits for l=, t= and x=.
std::optional<uint64_t> Number(std::string_view text) {
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The parts of text between separators; nullopt when there are more than limit.
std::optional<std::vector<std::string>> Split(std::string_view text, char separator,
                                              std::size_t limit) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        if (parts.size() == limit)
            return std::nullopt;
        const std::size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

// The few parts of a value that has them (c=, the key's h=, s= and t=): a longer list reads
// as nothing known.
std::vector<std::string> SplitShort(std::string_view text, char separator) {
    return Split(text, separator, kMaxTags).value_or(std::vector<std::string>{});
}

bool IsDomainName(std::string_view name) {
    if (name.empty() || name.size() > 253 || name.front() == '.' || name.back() == '.')
        return false;
    return std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.' || c == '_';
    }) && name.find("..") == std::string_view::npos;
}

std::optional<Canonical> CanonicalOf(std::string_view name) {
    if (name == "simple")
        return Canonical::Simple;
    if (name == "relaxed")
        return Canonical::Relaxed;
    return std::nullopt;
}

} // namespace

std::optional<std::vector<std::pair<std::string, std::string>>>
ParseTagList(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> tags;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find(';', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view spec = text.substr(start, end - start);
        start = end + 1;
        if (std::all_of(spec.begin(), spec.end(), IsWhiteSpace))
            continue; // a trailing ";" is allowed
        if (tags.size() == kMaxTags)
            return std::nullopt;
        const std::size_t equals = spec.find('=');
        if (equals == std::string_view::npos)
            return std::nullopt;
        std::string name = WithoutWhiteSpace(spec.substr(0, equals));
        if (!IsTagName(name))
            return std::nullopt;
        const bool twice = std::any_of(tags.begin(), tags.end(),
                                       [&name](const auto& tag) { return tag.first == name; });
        if (twice)
            return std::nullopt;
        tags.emplace_back(std::move(name), WithoutWhiteSpace(spec.substr(equals + 1)));
    }
    return tags;
}

std::optional<Signature> ParseSignature(std::string_view value) {
    const auto tags = ParseTagList(value);
    if (!tags)
        return std::nullopt;
    Signature signature;
    bool version = false, algorithm = false, domain = false, selector = false, headers = false,
         body = false, sig = false;
    for (const auto& [name, text] : *tags) {
        if (name == "v") {
            if (text != "1")
                return std::nullopt;
            version = true;
        } else if (name == "a") {
            if (text == "rsa-sha256")
                signature.algorithm = Algorithm::RsaSha256;
            else if (text == "ed25519-sha256")
                signature.algorithm = Algorithm::Ed25519Sha256;
            else
                return std::nullopt; // rsa-sha1 included: no longer a signature worth trusting
            algorithm = true;
        } else if (name == "c") {
            const std::vector<std::string> parts = SplitShort(text, '/');
            if (parts.empty() || parts.size() > 2)
                return std::nullopt;
            const auto header = CanonicalOf(parts[0]);
            const auto bodyCanon = parts.size() == 2 ? CanonicalOf(parts[1]) : Canonical::Simple;
            if (!header || !bodyCanon)
                return std::nullopt;
            signature.headerCanon = *header;
            signature.bodyCanon = *bodyCanon;
        } else if (name == "d") {
            if (!IsDomainName(text))
                return std::nullopt;
            signature.domain = ascii::Lower(text);
            domain = true;
        } else if (name == "s") {
            if (!IsDomainName(text))
                return std::nullopt;
            signature.selector = text;
            selector = true;
        } else if (name == "h") {
            auto fields = Split(text, ':', kMaxSignedFields);
            if (!fields)
                return std::nullopt;
            for (std::string& field : *fields) {
                if (field.empty())
                    return std::nullopt;
                signature.signedHeaders.push_back(ascii::Lower(field));
            }
            headers = true;
        } else if (name == "b") {
            auto decoded = encoders::DecodeBase64(text);
            if (!decoded || decoded->empty())
                return std::nullopt;
            signature.signature = std::move(*decoded);
            sig = true;
        } else if (name == "bh") {
            auto decoded = encoders::DecodeBase64(text);
            if (!decoded)
                return std::nullopt;
            signature.bodyHash = std::move(*decoded);
            body = true;
        } else if (name == "l" || name == "x" || name == "t") {
            const auto number = Number(text);
            if (!number)
                return std::nullopt;
            (name == "l" ? signature.bodyLength : name == "x" ? signature.expires
                                                               : signature.timestamp) = number;
        }
        // i=, q=, z= and unknown tags are passed over (section 3.2).
    }
    if (!version || !algorithm || !domain || !selector || !headers || !body || !sig)
        return std::nullopt;
    return signature;
}

std::optional<KeyRecord> ParseKeyRecord(std::string_view text) {
    const auto tags = ParseTagList(text);
    if (!tags)
        return std::nullopt;
    KeyRecord key;
    bool havePublicKey = false;
    for (std::size_t i = 0; i < tags->size(); ++i) {
        const auto& [name, value] = (*tags)[i];
        if (name == "v") {
            if (i != 0 || value != "DKIM1") // section 3.6.1: first, if present
                return std::nullopt;
        } else if (name == "k") {
            key.keyType = ascii::Lower(value);
        } else if (name == "p") {
            auto decoded = encoders::DecodeBase64(value);
            if (!decoded)
                return std::nullopt;
            key.publicKey = std::move(*decoded);
            havePublicKey = true;
        } else if (name == "h") {
            const std::vector<std::string> hashes = SplitShort(ascii::Lower(value), ':');
            key.sha256Allowed = std::find(hashes.begin(), hashes.end(), "sha256") != hashes.end();
        } else if (name == "s") {
            const std::vector<std::string> services = SplitShort(ascii::Lower(value), ':');
            key.emailService = std::find(services.begin(), services.end(), "*") != services.end() ||
                               std::find(services.begin(), services.end(), "email") != services.end();
        } else if (name == "t") {
            // Section 3.6.1: "y" says the domain is testing; its mail counts as unsigned.
            // A list too long to read is taken as saying so.
            const auto flags = Split(ascii::Lower(value), ':', kMaxTags);
            key.testing = !flags || std::find(flags->begin(), flags->end(), "y") != flags->end();
        }
    }
    if (!havePublicKey)
        return std::nullopt;
    return key;
}

} // namespace dkim

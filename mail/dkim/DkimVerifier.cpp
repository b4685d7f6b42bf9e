#include "mail/dkim/DkimVerifier.h"

#include "mail/dkim/DkimRecords.h"
#include "mail/text/AsciiCase.h"

#include <algorithm>
#include <array>
#include <memory>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <unordered_map>

namespace dkim {
namespace {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

constexpr std::size_t kEd25519KeySize = 32;
constexpr int kMinRsaBits = 1024;

bool IsWsp(char c) {
    return c == ' ' || c == '\t';
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

std::string Sha256(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), digest, &size, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<const char*>(digest), size);
}

// The signature field with the value of its b= tag removed (section 3.5, "b=").
std::string WithoutSignatureValue(std::string_view raw) {
    std::string out(raw);
    std::size_t start = out.find(':') + 1;
    while (start < out.size()) {
        std::size_t end = out.find(';', start);
        if (end == std::string::npos)
            end = out.size();
        const std::size_t equals = out.find('=', start);
        if (equals < end) {
            std::string name;
            for (std::size_t i = start; i < equals; ++i) {
                if (!IsWsp(out[i]) && out[i] != '\r' && out[i] != '\n')
                    name += out[i];
            }
            if (name == "b") {
                // Keep the field's final CR LF.
                std::size_t valueEnd = end;
                if (end == out.size() && out.size() >= 2 && out.compare(end - 2, 2, "\r\n") == 0)
                    valueEnd = end - 2;
                out.erase(equals + 1, valueEnd - equals - 1);
                return out;
            }
        }
        start = end + 1;
    }
    return out;
}

// What every signature of a message reads, worked out once: the fields by name (lower case,
// top to bottom) and the body in each canonical form with its hash.
class SignedMessage {
public:
    explicit SignedMessage(const MessageParts& parts) : m_parts(parts) {
        for (std::size_t i = 0; i < parts.fields.size(); ++i) {
            std::string name(parts.fields[i].name);
            for (char& c : name)
                c = ascii::ToLower(c);
            m_byName[std::move(name)].push_back(i);
        }
    }

    // Fields named in h=, each taken from the bottom up, a name named again taking the next
    // one above (section 5.4.2).
    std::string SignedHeaderData(const Signature& signature,
                                 const HeaderField& signatureField) const {
        const bool relaxed = signature.headerCanon == Canonical::Relaxed;
        std::unordered_map<std::string_view, std::size_t> taken;
        std::string data;
        for (const std::string& name : signature.signedHeaders) {
            const auto found = m_byName.find(name);
            if (found == m_byName.end())
                continue;
            std::size_t& used = taken[name];
            if (used == found->second.size())
                continue;
            const std::size_t index = found->second[found->second.size() - 1 - used++];
            AppendCanonicalHeader(data, m_parts.fields[index], relaxed);
        }
        const std::string stripped = WithoutSignatureValue(signatureField.raw);
        AppendCanonicalHeader(data, {signatureField.name, stripped}, relaxed);
        if (data.size() >= 2 && data.compare(data.size() - 2, 2, "\r\n") == 0)
            data.resize(data.size() - 2);
        return data;
    }

    struct Body {
        std::string canonical;
        std::string hash;
    };
    const Body& BodyIn(Canonical form) const {
        std::optional<Body>& body = m_bodies[form == Canonical::Relaxed ? 1 : 0];
        if (!body) {
            body.emplace();
            body->canonical = CanonicalBody(m_parts.body, form == Canonical::Relaxed);
            body->hash = Sha256(body->canonical);
        }
        return *body;
    }

private:
    const MessageParts& m_parts;
    std::unordered_map<std::string, std::vector<std::size_t>> m_byName;
    mutable std::array<std::optional<Body>, 2> m_bodies;
};

Pkey PublicKeyOf(const KeyRecord& key, Algorithm algorithm, Outcome& why) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(key.publicKey.data());
    if (algorithm == Algorithm::Ed25519Sha256) {
        if (key.keyType != "ed25519" || key.publicKey.size() != kEd25519KeySize) {
            why = Outcome::KeyUnusable;
            return nullptr;
        }
        Pkey pkey(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, bytes,
                                              key.publicKey.size()));
        if (!pkey)
            why = Outcome::KeyUnusable;
        return pkey;
    }
    if (key.keyType != "rsa") {
        why = Outcome::KeyUnusable;
        return nullptr;
    }
    // Published as SubjectPublicKeyInfo in practice; a bare RSAPublicKey is taken too.
    const unsigned char* cursor = bytes;
    Pkey pkey(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(key.publicKey.size())));
    if (!pkey) {
        cursor = bytes;
        pkey.reset(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor,
                                 static_cast<long>(key.publicKey.size())));
    }
    if (!pkey || EVP_PKEY_get_base_id(pkey.get()) != EVP_PKEY_RSA) {
        why = Outcome::KeyUnusable;
        return nullptr;
    }
    if (EVP_PKEY_get_bits(pkey.get()) < kMinRsaBits) {
        why = Outcome::KeyTooShort;
        return nullptr;
    }
    return pkey;
}

bool SignatureMatches(EVP_PKEY* key, Algorithm algorithm, const std::string& signature,
                      const std::string& data) {
    MdCtx context(EVP_MD_CTX_new());
    if (!context)
        return false;
    const auto* sig = reinterpret_cast<const unsigned char*>(signature.data());
    if (algorithm == Algorithm::Ed25519Sha256) {
        // RFC 8463: Ed25519 signs the SHA-256 hash of the header data.
        const std::string digest = Sha256(data);
        return EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key) == 1 &&
               EVP_DigestVerify(context.get(), sig, signature.size(),
                                reinterpret_cast<const unsigned char*>(digest.data()),
                                digest.size()) == 1;
    }
    return EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key) == 1 &&
           EVP_DigestVerify(context.get(), sig, signature.size(),
                            reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
}

// The key under s=._domainkey.d=, or the reason there is none to use.
Pkey FetchKey(const Signature& signature, const KeyLookup& lookup, Outcome& why) {
    const KeyAnswer answer = lookup(signature.selector + "._domainkey." + signature.domain);
    if (answer.status == KeyAnswer::Status::Failed) {
        why = Outcome::DnsFailed;
        return nullptr;
    }
    why = Outcome::KeyMissing;
    if (answer.status == KeyAnswer::Status::NotFound || answer.records.empty())
        return nullptr;
    // Section 3.6.2.2: several records are ambiguous; the first that reads as a key is taken.
    for (const std::string& text : answer.records) {
        const std::optional<KeyRecord> key = ParseKeyRecord(text);
        if (!key) {
            why = Outcome::KeyUnusable;
            continue;
        }
        if (key->publicKey.empty()) {
            why = Outcome::KeyRevoked;
            return nullptr;
        }
        if (!key->sha256Allowed || !key->emailService) {
            why = Outcome::KeyUnusable;
            return nullptr;
        }
        if (key->testing) {
            why = Outcome::KeyTesting;
            return nullptr;
        }
        return PublicKeyOf(*key, signature.algorithm, why);
    }
    return nullptr;
}

SignatureResult VerifyOne(const SignedMessage& message, const HeaderField& field,
                          const KeyLookup& lookup, uint64_t now) {
    const std::optional<Signature> signature = ParseSignature(FieldValue(field));
    if (!signature)
        return {Outcome::BadSignature, {}};
    SignatureResult result{Outcome::BadSignature, signature->domain};
    const auto& names = signature->signedHeaders;
    if (std::find(names.begin(), names.end(), "from") == names.end()) {
        result.outcome = Outcome::FromNotSigned;
        return result;
    }
    if (std::find(names.begin(), names.end(), "subject") == names.end()) {
        result.outcome = Outcome::SubjectNotSigned;
        return result;
    }
    if (signature->expires && *signature->expires < now) {
        result.outcome = Outcome::Expired;
        return result;
    }
    const SignedMessage::Body& body = message.BodyIn(signature->bodyCanon);
    if (signature->bodyLength) {
        if (*signature->bodyLength < body.canonical.size()) {
            result.outcome = Outcome::PartialBody;
            return result;
        }
        if (*signature->bodyLength > body.canonical.size())
            return result;
    }
    if (body.hash != signature->bodyHash)
        return result;
    Outcome why = Outcome::KeyMissing;
    const Pkey key = FetchKey(*signature, lookup, why);
    if (!key) {
        result.outcome = why;
        return result;
    }
    if (SignatureMatches(key.get(), signature->algorithm, signature->signature,
                         message.SignedHeaderData(*signature, field)))
        result.outcome = Outcome::Pass;
    return result;
}

} // namespace

std::optional<MessageParts> SplitMessage(std::string_view message) {
    MessageParts parts;
    std::size_t pos = 0;
    while (pos < message.size()) {
        if (message.compare(pos, 2, "\r\n") == 0) {
            parts.body = message.substr(pos + 2);
            return parts;
        }
        // A field runs on over lines that start with white space.
        std::size_t end = pos;
        do {
            const std::size_t lineEnd = message.find("\r\n", end);
            if (lineEnd == std::string_view::npos)
                return std::nullopt;
            end = lineEnd + 2;
        } while (end < message.size() && IsWsp(message[end]));
        const std::string_view raw = message.substr(pos, end - pos);
        const std::size_t colon = raw.find(':');
        if (colon == std::string_view::npos)
            return std::nullopt;
        // "Name :" is taken as old mail wrote it; white space inside a name is not.
        std::string_view name = raw.substr(0, colon);
        while (!name.empty() && IsWsp(name.back()))
            name.remove_suffix(1);
        if (name.empty() || name.find_first_of(" \t\r\n") != std::string_view::npos)
            return std::nullopt;
        parts.fields.push_back({name, raw});
        pos = end;
    }
    return parts; // a message of header fields alone
}

std::string_view FieldValue(const HeaderField& field) {
    const std::size_t colon = field.raw.find(':');
    return colon == std::string_view::npos ? std::string_view() : field.raw.substr(colon + 1);
}

std::string CanonicalBody(std::string_view body, bool relaxed) {
    std::string out;
    out.reserve(body.size() + 2);
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t end = body.find("\r\n", pos);
        const bool lastLine = end == std::string_view::npos;
        std::string_view line = body.substr(pos, lastLine ? end : end - pos);
        if (relaxed) {
            std::string reduced;
            bool inSpace = false;
            for (char c : line) {
                if (IsWsp(c)) {
                    inSpace = true;
                    continue;
                }
                if (inSpace)
                    reduced += ' ';
                inSpace = false;
                reduced += c;
            }
            out += reduced; // white space at the line's end is gone
        } else {
            out += line;
        }
        out += "\r\n";
        pos = lastLine ? body.size() : end + 2;
    }
    // Empty lines at the end are ignored.
    while (out.size() >= 4 && out.compare(out.size() - 4, 4, "\r\n\r\n") == 0)
        out.resize(out.size() - 2);
    if (out == "\r\n")
        out.clear();
    if (out.empty() && !relaxed)
        out = "\r\n";
    return out;
}

void AppendCanonicalHeader(std::string& out, const HeaderField& field, bool relaxed) {
    if (!relaxed) {
        out += field.raw;
        return;
    }
    const std::string_view value = FieldValue(field);
    out.reserve(out.size() + field.name.size() + value.size() + 3);
    for (char c : field.name)
        out += ascii::ToLower(c);
    out += ':';
    bool started = false, inSpace = false;
    for (char c : value) {
        if (c == '\r' || c == '\n')
            continue; // unfolded
        if (IsWsp(c)) {
            inSpace = true;
            continue;
        }
        if (inSpace && started)
            out += ' ';
        inSpace = false;
        started = true;
        out += c;
    }
    out += "\r\n";
}

std::string CanonicalHeader(const HeaderField& field, bool relaxed) {
    std::string out;
    AppendCanonicalHeader(out, field, relaxed);
    return out;
}

std::vector<SignatureResult> VerifyMessage(std::string_view message, const KeyLookup& lookup,
                                           uint64_t now) {
    const std::string text = WithCrLf(message);
    const std::optional<MessageParts> parts = SplitMessage(text);
    std::vector<SignatureResult> results;
    if (!parts)
        return results;
    const SignedMessage signedMessage(*parts);
    for (const HeaderField& field : parts->fields) {
        if (!ascii::EqualNoCase(field.name, "DKIM-Signature"))
            continue;
        if (results.size() == kMaxSignatures)
            break;
        results.push_back(VerifyOne(signedMessage, field, lookup, now));
    }
    return results;
}

} // namespace dkim

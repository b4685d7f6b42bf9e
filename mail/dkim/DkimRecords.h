#pragma once
// The two records of DKIM (RFC 6376) as data: the DKIM-Signature header field (section 3.5)
// and the key record published in DNS (section 3.6.1). Both are tag=value lists (section
// 3.2). Pure functions on text, so that any bytes a sender or a DNS server writes can be fed
// to them: a record that breaks a rule comes back as nullopt, never half read.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dkim {

// A tag list of more tags, or an h= that names more fields, is not read. Real signatures carry
// about a dozen tags and name a few dozen fields (oversigned ones twice as many); the bounds
// keep what a sender can make the check do in proportion to a request, so that any request up
// to its size bound is judged in milliseconds.
inline constexpr std::size_t kMaxTags = 64;
inline constexpr std::size_t kMaxSignedFields = 256;

enum class Algorithm { RsaSha256, Ed25519Sha256 };
enum class Canonical { Simple, Relaxed };

struct Signature {
    Algorithm algorithm = Algorithm::RsaSha256;
    Canonical headerCanon = Canonical::Simple;
    Canonical bodyCanon = Canonical::Simple;
    std::string domain;   // d=, lower case
    std::string selector; // s=
    std::vector<std::string> signedHeaders; // h=, lower case, in order
    std::string signature; // b=, decoded
    std::string bodyHash;  // bh=, decoded
    std::optional<uint64_t> bodyLength; // l=
    std::optional<uint64_t> expires;    // x=, seconds since 1970
    std::optional<uint64_t> timestamp;  // t=
};

struct KeyRecord {
    std::string keyType = "rsa"; // k=
    std::string publicKey;       // p=, decoded; empty: the key is revoked
    bool sha256Allowed = true;   // h= names sha256 or is absent
    bool emailService = true;    // s= names * or email or is absent
    bool testing = false;        // t= has the flag y: the domain is testing DKIM
};

// The tags of a tag list (name, value with white space removed); nullopt when a tag appears
// twice, a name is not a name, a tag has no "=", or there are more than kMaxTags.
std::optional<std::vector<std::pair<std::string, std::string>>> ParseTagList(std::string_view text);

// A DKIM-Signature field value (unfolded or folded); nullopt when v= is not 1, a required tag
// is missing, the algorithm is not one of the two supported, a value is malformed, or h=
// names more than kMaxSignedFields fields.
std::optional<Signature> ParseSignature(std::string_view value);

// A key record (the TXT strings joined); nullopt when v= is present and not DKIM1, or p= is
// missing or not base64.
std::optional<KeyRecord> ParseKeyRecord(std::string_view text);

} // namespace dkim

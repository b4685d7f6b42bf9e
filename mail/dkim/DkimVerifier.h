#pragma once
// Verifies the DKIM signatures of a whole message (RFC 6376, with ed25519-sha256 of RFC 8463):
// header and body canonicalization (section 3.4), the body hash, the header hash over the
// fields named in h= and the signature field itself, and the signature with the key from DNS,
// on OpenSSL's signature functions. Each signature gets its own outcome; whether its domain
// speaks for the From domain is for the caller to judge.
//
// Stricter than the RFC where a looser reading would let a forger through: a signature whose
// l= leaves body content unsigned, that does not cover From and Subject (what the request is
// judged by), whose x= has passed, or whose rsa key is shorter than 1024 bits does not count;
// nor does one whose key says the domain is testing (t=y), as the RFC asks of such mail.
// The work is in proportion to the message: fields are found by name once, the body is
// canonicalized once per form, and the records are bounded (DkimRecords.h).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dkim {

enum class Outcome {
    Pass,
    NoSignature,      // no DKIM-Signature field at all
    BadSignature,     // malformed, body hash or signature does not match
    KeyMissing,       // no key record under the selector
    KeyRevoked,       // the record's p= is empty
    KeyTooShort,      // rsa below 1024 bits
    KeyUnusable,      // a record that is not a key for this algorithm and for mail
    Expired,          // x= has passed
    PartialBody,      // l= shorter than the body
    FromNotSigned,    // h= does not name From
    SubjectNotSigned, // h= does not name Subject
    KeyTesting,       // the key record says t=y: mail of a testing domain counts as unsigned
    DnsFailed,        // the key look-up got no answer (time-out, SERVFAIL): no verdict
};

// The answer to a TXT look-up: the records (each one's strings joined) when found.
struct KeyAnswer {
    enum class Status { Found, NotFound, Failed } status = Status::Failed;
    std::vector<std::string> records;
};
using KeyLookup = std::function<KeyAnswer(const std::string& name)>;

struct SignatureResult {
    Outcome outcome = Outcome::BadSignature;
    std::string domain; // d=, lower case; empty when the field could not be read
};

// One header field: its name as written and its bytes, folding and the final CR LF included.
struct HeaderField {
    std::string_view name;
    std::string_view raw;
};

// The header fields in order and the body of a message with CR LF line ends; nullopt when
// there is no empty line between them or a header line is not a field.
struct MessageParts {
    std::vector<HeaderField> fields;
    std::string_view body;
};
std::optional<MessageParts> SplitMessage(std::string_view message);

// The value of a field (after the colon), folding kept.
std::string_view FieldValue(const HeaderField& field);

// At most this many signatures of one message are looked at; the rest are passed over.
inline constexpr std::size_t kMaxSignatures = 8;

// message: the whole message, CR LF line ends (a bare LF is taken as CR LF). now: seconds since
// 1970, for x=. An empty vector means no signature.
std::vector<SignatureResult> VerifyMessage(std::string_view message, const KeyLookup& lookup,
                                           uint64_t now);

// The canonical forms, for tests and the hash; AppendCanonicalHeader adds the header's to out.
std::string CanonicalBody(std::string_view body, bool relaxed);
std::string CanonicalHeader(const HeaderField& field, bool relaxed);
void AppendCanonicalHeader(std::string& out, const HeaderField& field, bool relaxed);

} // namespace dkim

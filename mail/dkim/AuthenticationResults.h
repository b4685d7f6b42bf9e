#pragma once
// The Authentication-Results header field (RFC 8601): who wrote it (the authserv-id) and the
// results of the methods it ran, with their properties. Pure functions on text: a sender can
// write any such field, so only the top-most field of an authserv-id the user trusts is ever
// believed (section 5), and nothing below it.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace authres {

struct MethodResult {
    std::string method; // lower case, without a version
    std::string result; // lower case
    std::vector<std::pair<std::string, std::string>> properties; // "header.from" (lower case) -> value
};

struct Field {
    std::string authservId;
    std::vector<MethodResult> results;
};

// A field value; nullopt when it has no authserv-id or a result is not "method=result".
std::optional<Field> Parse(std::string_view value);

// The authserv-id of a field value, read leniently: leading comments skipped, the first word
// or quoted string taken, whatever follows it. nullopt when there is none to read.
std::optional<std::string> AuthservIdOf(std::string_view value);

// fieldValues: the values of every Authentication-Results field, top first. True when the
// top-most one whose authserv-id equals trustedId (letter case aside) says dmarc=pass with
// header.from equal to fromDomain. That field decides even when the rest of it cannot be read
// (then false), and so does a field whose authserv-id cannot be read at all. An empty trustedId
// trusts nobody.
bool TrustedDmarcPass(const std::vector<std::string_view>& fieldValues, std::string_view trustedId,
                      std::string_view fromDomain);

} // namespace authres

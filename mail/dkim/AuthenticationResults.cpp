#include "mail/dkim/AuthenticationResults.h"

#include "mail/text/AsciiCase.h"

namespace authres {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct Token {
    std::string text;
    bool separator = false;
};

bool Is(const Token& token, char separator) {
    return token.separator && token.text.size() == 1 && token.text[0] == separator;
}

// Passes over the comment that starts at value[i] (nested comments and escapes inside);
// false when it does not end.
bool SkipComment(std::string_view value, std::size_t& i) {
    int depth = 0;
    do {
        if (value[i] == '\\')
            ++i;
        else if (value[i] == '(')
            ++depth;
        else if (value[i] == ')')
            --depth;
        ++i;
    } while (i < value.size() && depth > 0);
    return depth == 0;
}

// Reads the quoted string that starts at value[i] into text, unquoted; false when it does
// not end.
bool ReadQuoted(std::string_view value, std::size_t& i, std::string& text) {
    ++i;
    while (i < value.size() && value[i] != '"') {
        if (value[i] == '\\' && i + 1 < value.size())
            ++i;
        text += value[i++];
    }
    if (i == value.size())
        return false;
    ++i;
    return true;
}

// Splits the value into words and the separators ";" and "=", with comments dropped and quoted
// strings unquoted.

std::optional<std::vector<Token>> Tokens(std::string_view value) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < value.size()) {
        const char c = value[i];
        if (IsSpace(c)) {
            ++i;
        } else if (c == '(') {
            if (!SkipComment(value, i))
                return std::nullopt;
        } else if (c == '"') {
            std::string text;
            if (!ReadQuoted(value, i, text))
                return std::nullopt;
            tokens.push_back({std::move(text), false});
        } else if (c == ';' || c == '=') {
            tokens.push_back({std::string(1, c), true});
            ++i;
        } else {
            // A value (after "=") may hold "=" and "/" itself, as base64 does in header.b=.
            const bool isValue = !tokens.empty() && Is(tokens.back(), '=');
            std::string text;
            while (i < value.size() && !IsSpace(value[i]) && value[i] != ';' && value[i] != '(' &&
                   value[i] != '"' && (isValue || value[i] != '='))
                text += value[i++];
            tokens.push_back({std::move(text), false});
        }
    }
    return tokens;
}

// One resinfo: method[/version]=result, then reason=... and ptype.property=value pairs.
std::optional<MethodResult> ResultOf(const std::vector<Token>& tokens, std::size_t begin,
                                     std::size_t end) {
    std::size_t i = begin;
    if (i >= end || tokens[i].separator)
        return std::nullopt;
    MethodResult result;
    const std::string& method = tokens[i++].text;
    result.method = ascii::Lower(method.substr(0, method.find('/'))); // without its version
    if (i + 1 >= end || !Is(tokens[i], '=') || tokens[i + 1].separator)
        return std::nullopt;
    result.result = ascii::Lower(tokens[i + 1].text);
    i += 2;
    while (i + 2 < end) {
        if (tokens[i].separator || !Is(tokens[i + 1], '='))
            return std::nullopt;
        result.properties.emplace_back(ascii::Lower(tokens[i].text), tokens[i + 2].text);
        i += 3;
    }
    if (i != end)
        return std::nullopt;
    return result;
}

} // namespace

std::optional<Field> Parse(std::string_view value) {
    const auto tokens = Tokens(value);
    if (!tokens || tokens->empty() || (*tokens)[0].separator || (*tokens)[0].text.empty())
        return std::nullopt;
    Field field;
    field.authservId = (*tokens)[0].text;
    std::size_t i = 1;
    if (i < tokens->size() && !(*tokens)[i].separator)
        ++i; // the version of the field's syntax
    while (i < tokens->size()) {
        if (!Is((*tokens)[i], ';'))
            return std::nullopt;
        std::size_t end = i + 1;
        while (end < tokens->size() && !Is((*tokens)[end], ';'))
            ++end;
        // "none" alone says that no method ran.
        if (!(end == i + 2 && ascii::EqualNoCase((*tokens)[i + 1].text, "none"))) {
            std::optional<MethodResult> result = ResultOf(*tokens, i + 1, end);
            if (!result)
                return std::nullopt;
            field.results.push_back(std::move(*result));
        }
        i = end;
    }
    return field;
}

std::optional<std::string> AuthservIdOf(std::string_view value) {
    std::size_t i = 0;
    for (;;) {
        while (i < value.size() && IsSpace(value[i]))
            ++i;
        if (i == value.size() || value[i] != '(')
            break;
        if (!SkipComment(value, i))
            return std::nullopt;
    }
    std::string id;
    if (i < value.size() && value[i] == '"') {
        if (!ReadQuoted(value, i, id))
            return std::nullopt;
    } else {
        while (i < value.size() && !IsSpace(value[i]) && value[i] != ';' && value[i] != '(' &&
               value[i] != '"')
            id += value[i++];
    }
    if (id.empty())
        return std::nullopt;
    return id;
}

bool TrustedDmarcPass(const std::vector<std::string_view>& fieldValues, std::string_view trustedId,
                      std::string_view fromDomain) {
    if (trustedId.empty() || fromDomain.empty())
        return false;
    for (std::string_view value : fieldValues) {
        // The top-most field of the trusted id decides, and one the trusted server wrote may
        // quote what the sender chose (an envelope sender with an unbalanced quote): the id is
        // found without reading the rest, and a field of that id that cannot be read whole
        // proves nothing. A field whose id cannot be found at all may be the trusted one.
        const std::optional<std::string> id = AuthservIdOf(value);
        if (!id)
            return false;
        if (!ascii::EqualNoCase(*id, trustedId))
            continue;
        const std::optional<Field> field = Parse(value);
        if (!field)
            return false;
        for (const MethodResult& result : field->results) {
            if (result.method != "dmarc" || result.result != "pass")
                continue;
            for (const auto& [name, property] : result.properties) {
                if (name == "header.from" && ascii::EqualNoCase(property, fromDomain))
                    return true;
            }
        }
        return false;
    }
    return false;
}

} // namespace authres

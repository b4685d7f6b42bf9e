#include "mail/smtp/SmtpReply.h"

#include "mail/text/AsciiCase.h"

namespace {

// The extension line for keyword, with the position where its parameters begin.
const std::string* FindExtension(const std::vector<std::string>& lines, std::string_view keyword,
                                 std::size_t& parameters) {
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t end = line.find_first_of(" =");
        if (ascii::EqualNoCase(std::string_view(line).substr(0, end), keyword)) {
            parameters = end == std::string::npos ? line.size() : end + 1;
            return &line;
        }
    }
    return nullptr;
}

} // namespace

std::string SmtpReply::Text() const {
    std::string text = std::to_string(code);
    for (const std::string& line : lines)
        text += " " + line;
    return text;
}

bool SmtpReply::HasExtension(std::string_view keyword) const {
    std::size_t parameters = 0;
    return FindExtension(lines, keyword, parameters) != nullptr;
}

std::string SmtpReply::ExtensionParameters(std::string_view keyword) const {
    std::size_t parameters = 0;
    const std::string* line = FindExtension(lines, keyword, parameters);
    return line ? line->substr(parameters) : std::string();
}

bool SmtpReply::OffersParameter(std::string_view keyword, std::string_view parameter) const {
    const std::string parameters = ExtensionParameters(keyword);
    std::string_view rest = parameters;
    while (!rest.empty()) {
        const std::size_t blank = rest.find(' ');
        if (ascii::EqualNoCase(rest.substr(0, blank), parameter))
            return true;
        rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
    }
    return false;
}

SmtpReply ParseSmtpReply(std::string_view text) {
    SmtpReply reply;
    auto digit = [&text](std::size_t i) {
        return i < text.size() && text[i] >= '0' && text[i] <= '9';
    };
    if (digit(0) && digit(1) && digit(2))
        reply.code = (text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0');
    for (std::size_t start = 0; start < text.size();) {
        std::size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos)
            lf = text.size();
        std::string_view line = text.substr(start, lf - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        reply.lines.emplace_back(line.size() > 4 ? line.substr(4) : std::string_view());
        start = lf + 1;
    }
    return reply;
}

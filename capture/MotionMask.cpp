#include "capture/MotionMask.h"

#include <charconv>
#include <string_view>

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::optional<int> Percent(std::string_view text) {
    text = Trimmed(text);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 ||
        value > 100)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::vector<MaskRect>> ParseMotionMask(const std::string& text, std::string* why) {
    std::vector<MaskRect> rects;
    std::string_view rest = text;
    while (!Trimmed(rest).empty()) {
        const std::size_t semicolon = rest.find(';');
        const std::string_view part = rest.substr(0, semicolon);
        rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
        if (Trimmed(part).empty())
            continue; // "a;;b" or a trailing ";"
        std::optional<int> numbers[4];
        std::string_view fields = part;
        int count = 0;
        for (; count < 4 && !fields.empty(); ++count) {
            const std::size_t comma = fields.find(',');
            numbers[count] = Percent(fields.substr(0, comma));
            fields = comma == std::string_view::npos ? std::string_view() : fields.substr(comma + 1);
            if (!numbers[count])
                break;
        }
        const bool whole = count == 4 && numbers[3] && fields.empty() &&
                           part.find(',') != std::string_view::npos;
        if (!whole || *numbers[2] == 0 || *numbers[3] == 0 || *numbers[0] + *numbers[2] > 100 ||
            *numbers[1] + *numbers[3] > 100) {
            if (why)
                *why = "\"" + std::string(Trimmed(part)) +
                       "\": x,y,w,h in percent of the picture (0-100, inside it, not empty)";
            return std::nullopt;
        }
        rects.push_back({*numbers[0], *numbers[1], *numbers[2], *numbers[3]});
    }
    return rects;
}

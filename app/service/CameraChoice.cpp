#include "app/service/CameraChoice.h"

#include "app/settings/CameraNames.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80"; // U+3000

// Length of the white space (space, tab, U+3000) at the start of text.
std::size_t SpaceAt(std::string_view text) {
    std::size_t at = 0;
    for (;;) {
        if (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
            ++at;
        else if (text.substr(at).starts_with(kIdeographicSpace))
            at += kIdeographicSpace.size();
        else
            return at;
    }
}

} // namespace

std::optional<std::string> RequestWord(const std::string& subject, const std::string& checkString) {
    // The check string itself is compared as before: character for character.
    if (subject == checkString)
        return std::string();
    if (checkString.empty() || !std::string_view(subject).starts_with(checkString))
        return std::nullopt;
    const std::string_view rest = std::string_view(subject).substr(checkString.size());
    const std::size_t space = SpaceAt(rest);
    if (space == 0 || space == rest.size())
        return std::nullopt; // "capture", or trailing space only
    std::string word(rest.substr(space));
    while (!word.empty()) { // trailing full-width spaces (the ASCII ones are gone already)
        if (word.ends_with(kIdeographicSpace))
            word.resize(word.size() - kIdeographicSpace.size());
        else if (word.back() == ' ' || word.back() == '\t')
            word.pop_back();
        else
            break;
    }
    return word;
}

void CameraChoice::Add(const std::string& word, const std::vector<std::string>& names) {
    const auto choose = [this](std::size_t camera) {
        if (std::ranges::find(cameras, camera) == cameras.end())
            cameras.push_back(camera);
    };
    if (word.empty()) {
        for (std::size_t i = 0; i < names.size(); ++i)
            choose(i);
    } else {
        const std::string folded = FoldCameraName(word);
        const auto named = std::ranges::find_if(
            names, [&](const std::string& name) { return FoldCameraName(name) == folded; });
        if (named != names.end())
            choose(static_cast<std::size_t>(named - names.begin()));
        else if (std::ranges::find(unknown, word) == unknown.end())
            unknown.push_back(word);
    }
    std::ranges::sort(cameras);
}

std::optional<bool> ArmWord(const std::string& word) {
    const std::string folded = FoldCameraName(word);
    if (folded == "arm" || folded == "警戒")
        return true;
    if (folded == "disarm" || folded == "解除")
        return false;
    return std::nullopt;
}

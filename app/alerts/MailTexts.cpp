#include "app/alerts/MailTexts.h"

#include <cstdio>

namespace {

// One text in both languages; the Japanese is sent as written, in ISO-2022-JP.
struct Text {
    const char* japanese;
    const char* english;
    const char* In(MailLanguage language) const {
        return language == MailLanguage::Japanese ? japanese : english;
    }
};

constexpr Text kAlertSubject = {"動き検知: %1 %2", "Motion: %1 %2"};
constexpr Text kAlertSaw = {"%1 で %2 に動きがありました。",
                            "Something moved in front of %1 at %2."};
constexpr Text kAlertPictures = {"動きを見つけたときの写真と、その1秒後、2秒後の写真を付けます。",
                                 "Attached: the picture at detection and two taken one and two "
                                 "seconds later."};
constexpr Text kHeldBack = {"ほかに %1 回（%2 から）の動きは知らせていません。",
                            "and %1 more since %2"};
constexpr Text kScheduledSubject = {"定時の写真 %1", "Scheduled pictures %1"};
constexpr Text kScheduledFor = {"%1 の定時の写真です。", "The scheduled pictures of %1."};
constexpr Text kNoPicture = {"%1: 写真はありません（カメラにつながりません）",
                             "%1: no picture (the camera cannot be reached)"};

// text with %1, %2 replaced.
std::string Fill(const char* text, const std::string& first, const std::string& second = {}) {
    std::string out;
    for (const char* c = text; *c; ++c) {
        if (c[0] == '%' && (c[1] == '1' || c[1] == '2')) {
            out += c[1] == '1' ? first : second;
            ++c;
        } else {
            out += *c;
        }
    }
    return out;
}

// A camera's name as it may stand in a header: names are checked when set, yet a line break
// here would start a header of its own, so control characters go whatever the files held.
std::string Clean(const std::string& text) {
    std::string out;
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            out += c;
    return out;
}

std::string HoursMinutes(const LocalTime& at) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", at.hour % 100, at.minute % 100);
    return text;
}

std::string HoursMinutesSeconds(const LocalTime& at) {
    char text[12];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", at.hour % 100, at.minute % 100,
                  at.second % 100);
    return text;
}

std::string Date(MailLanguage language, const LocalTime& at) {
    char text[40];
    if (language == MailLanguage::Japanese)
        std::snprintf(text, sizeof text, "%04d/%02d/%02d", at.year % 10000, at.month % 100,
                      at.day % 100);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", at.year % 10000, at.month % 100,
                      at.day % 100);
    return text;
}

} // namespace

std::string AlertSubject(MailLanguage language, const std::string& camera, const LocalTime& at) {
    return Fill(kAlertSubject.In(language), Clean(camera), HoursMinutes(at));
}

std::string HeldBackLine(MailLanguage language, int heldBack, const LocalTime& since) {
    if (heldBack <= 0)
        return {};
    return Fill(kHeldBack.In(language), std::to_string(heldBack), HoursMinutes(since));
}

std::vector<std::string> AlertBody(MailLanguage language, const std::string& camera,
                                   const LocalTime& at, int heldBack, const LocalTime& heldSince) {
    std::vector<std::string> lines = {Fill(kAlertSaw.In(language), Clean(camera),
                                           Date(language, at) + " " + HoursMinutesSeconds(at)),
                                      kAlertPictures.In(language)};
    if (heldBack > 0)
        lines.push_back(HeldBackLine(language, heldBack, heldSince));
    return lines;
}

std::string ScheduledSubject(MailLanguage language, const LocalTime& moment) {
    return Fill(kScheduledSubject.In(language), HoursMinutes(moment));
}

std::vector<std::string> ScheduledBody(MailLanguage language, const LocalTime& moment,
                                       const std::vector<std::string>& camerasWithoutPicture) {
    std::vector<std::string> lines = {
        Fill(kScheduledFor.In(language), Date(language, moment) + " " + HoursMinutes(moment))};
    for (const std::string& camera : camerasWithoutPicture)
        lines.push_back(Fill(kNoPicture.In(language), Clean(camera)));
    return lines;
}

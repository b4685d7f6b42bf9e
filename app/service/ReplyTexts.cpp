#include "app/service/ReplyTexts.h"

#include <cstdio>

std::string JapaneseDateText(const LocalTime& time) {
    const std::string weekday(JapaneseWeekday(time.weekday));
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%d年%d月%d日(%s)%02d時%02d分%02d秒", time.year,
                  time.month, time.day, weekday.c_str(), time.hour, time.minute, time.second);
    return buffer;
}

namespace {

std::string JapanesePictureLine(const LocalTime& time) {
    return JapaneseDateText(time) + "現在の画像です。";
}

std::string EnglishPictureLine(const LocalTime& time) {
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::string weekday(EnglishWeekday(time.weekday));
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "The camera at %02d:%02d:%02d on %s %d %s %d.", time.hour,
                  time.minute, time.second, weekday.c_str(), time.day,
                  kMonths[(time.month + 11) % 12], time.year);
    return buffer;
}

const ReplyTexts kJapanese{
    "キャプチャ画像",
    JapanesePictureLine,
    ": 写真はありません（カメラにつながりません）",
    [](const std::string& word, const std::string& names, const std::string& check) {
        return "「" + word + "」という名前のカメラはありません。カメラ: " + names + "（件名「" +
               check + " 名前」でそのカメラの写真だけを送ります）";
    },
    [](unsigned long long limit) {
        return "サーバーが受け取れる大きさ（" + std::to_string(limit) +
               "バイト）に収まるよう、写真を小さくしました。";
    },
    "警戒を始めました。動きがあればお知らせします。",
    "警戒を解除しました。",
    "警戒の切り替えは、差出人を確認できるとき（メール設定の「差出人をDKIM署名で確認する」）だけ"
    "受け付けます。このメールでは何も変えていません。",
    "、",
};

const ReplyTexts kEnglish{
    "Camera picture",
    EnglishPictureLine,
    ": no picture, the camera is not reachable",
    [](const std::string& word, const std::string& names, const std::string& check) {
        return "No camera is called \"" + word + "\". Cameras: " + names + " (subject \"" + check +
               " NAME\" for one camera's picture)";
    },
    [](unsigned long long limit) {
        return "The pictures were made smaller to fit what the server takes (" +
               std::to_string(limit) + " bytes).";
    },
    "Alerts are on: you will be told when something moves.",
    "Alerts are off.",
    "Alerts are switched by mail only when the sender is verified (\"check the sender's DKIM "
    "signature\" in the mail settings). Nothing was changed.",
    ", ",
};

} // namespace

const ReplyTexts& ReplyTextsFor(MailLanguage language) {
    return language == MailLanguage::English ? kEnglish : kJapanese;
}

#pragma once
// The words of the replies in the mails' language (MAIL.LANGUAGE): Japanese as the replies have
// always been, or English. log.txt stays Japanese whatever the mails speak.

#include "base/Clock.h"
#include "base/Settings.h"

#include <string>
#include <vector>

struct ReplyTexts {
    const char* subject;
    // The line above the pictures: the moment of the grab, then this.
    std::string (*pictureLine)(const LocalTime& time);
    // "玄関: ..." for a camera that gave no picture.
    const char* noPicture;
    // For a name no camera has: the word, the names there are, the check string.
    std::string (*unknownCamera)(const std::string& word, const std::string& names,
                                 const std::string& checkString);
    // Pictures made smaller to fit the server's SIZE limit (in bytes).
    std::string (*madeSmaller)(unsigned long long limit);
    const char* armed;
    const char* disarmed;
    const char* armRefused;
    const char* nameSeparator; // between the cameras' names
};

const ReplyTexts& ReplyTextsFor(MailLanguage language);

// "2026年12月6日(日)15時47分44秒": year, month and day without leading zeros, the weekday
// name, then hours, minutes and seconds with two digits each.
std::string JapaneseDateText(const LocalTime& time);

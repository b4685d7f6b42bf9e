#pragma once
// The texts of the mails the program writes on its own, motion alerts and scheduled pictures,
// in the language of MAIL.LANGUAGE: Japanese (sent in ISO-2022-JP, as the replies) or English.
// Subjects and body lines only; building and sending the mail is the sender's.

#include "base/Clock.h"
#include "base/Settings.h"

#include <string>
#include <vector>

// "動き検知: 玄関 12:34" / "Motion: garden 12:34".
std::string AlertSubject(MailLanguage language, const std::string& camera, const LocalTime& at);

// The body of an alert: what moved where and when, what the pictures are, and, when alerts were
// held back since the last one sent, how many and since when ("and 3 more since 10:42").
std::vector<std::string> AlertBody(MailLanguage language, const std::string& camera,
                                   const LocalTime& at, int heldBack, const LocalTime& heldSince);

// The held-back line alone ("" when heldBack is 0).
std::string HeldBackLine(MailLanguage language, int heldBack, const LocalTime& since);

// "定時の写真 07:00" / "Scheduled pictures 07:00".
std::string ScheduledSubject(MailLanguage language, const LocalTime& moment);

// The body of a scheduled mail: the moment it is for and a line for each camera without a
// picture ("玄関: 写真はありません（カメラにつながりません）").
std::vector<std::string> ScheduledBody(MailLanguage language, const LocalTime& moment,
                                       const std::vector<std::string>& camerasWithoutPicture);

#pragma once
// The language of the user interface: the window, the dialogs, the tray, the message boxes,
// --help and the lines on standard error. Japanese is the language the texts are written in;
// any other language comes from a Qt translation file kestrovamail_<language>.qm. log.txt and
// the reply mails are not affected: files and readers rely on their Japanese.

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

// The locale variables as gettext reads them, empty when unset.
struct LocaleEnvironment {
    std::string language;   // LANGUAGE: a colon-separated list of preferences
    std::string lcAll;      // LC_ALL
    std::string lcMessages; // LC_MESSAGES
    std::string lang;       // LANG

    static LocaleEnvironment FromProcess();
};

inline constexpr const char* kSourceLanguage = "ja";
inline constexpr const char* kFallbackLanguage = "en";

// The language to show, as a code such as "ja" or "en": the first of LANGUAGE's preferences
// that is Japanese or has a translation, else the language of the locale (LC_ALL, then
// LC_MESSAGES, then LANG) when it is either; English for anything else, "C" included.
// LANGUAGE is ignored under the C locale, as gettext does.
std::string PickUiLanguage(const LocaleEnvironment& environment,
                           const std::vector<std::string>& translated);

// The folders searched for kestrovamail_<language>.qm: beside the executable in a build tree
// (translations/), then the installed share/kestrovamail/translations.
QStringList TranslationFolders();

// Picks the language from the process's locale and installs its translation into the running
// QCoreApplication (nothing for Japanese). Returns the language shown. folders: where the .qm
// files are looked for (TranslationFolders() when empty).
std::string InstallUiTranslation(const LocaleEnvironment& environment, QStringList folders = {});

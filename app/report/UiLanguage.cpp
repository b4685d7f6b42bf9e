#include "app/report/UiLanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>
#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// "ja_JP.UTF-8@x" -> "ja"; "C" and "POSIX" -> "" (no language).
std::string LanguageOf(const std::string& locale) {
    const std::string language = locale.substr(0, locale.find_first_of("_.@"));
    if (language == "C" || language == "POSIX")
        return {};
    return language;
}

std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        if (end > start)
            parts.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

QString QmName(const std::string& language) {
    return QStringLiteral("kestrovamail_%1.qm").arg(QString::fromStdString(language));
}

std::vector<std::string> AvailableTranslations(const QStringList& folders) {
    std::vector<std::string> languages;
    for (const QString& folder : folders) {
        const QStringList files = QDir(folder).entryList({QStringLiteral("kestrovamail_*.qm")});
        for (const QString& file : files) {
            std::string language = file.mid(13, file.size() - 16).toStdString();
            if (std::find(languages.begin(), languages.end(), language) == languages.end())
                languages.push_back(std::move(language));
        }
    }
    return languages;
}

} // namespace

LocaleEnvironment LocaleEnvironment::FromProcess() {
    return {Variable("LANGUAGE"), Variable("LC_ALL"), Variable("LC_MESSAGES"), Variable("LANG")};
}

std::string PickUiLanguage(const LocaleEnvironment& environment,
                           const std::vector<std::string>& translated) {
    const std::string& locale = !environment.lcAll.empty()        ? environment.lcAll
                                : !environment.lcMessages.empty() ? environment.lcMessages
                                                                  : environment.lang;
    const std::string localeLanguage = LanguageOf(locale);
    auto known = [&](const std::string& language) {
        return language == kSourceLanguage ||
               std::find(translated.begin(), translated.end(), language) != translated.end();
    };
    if (!localeLanguage.empty()) {
        for (const std::string& preference : Split(environment.language)) {
            if (const std::string language = LanguageOf(preference); known(language))
                return language;
        }
    }
    return known(localeLanguage) ? localeLanguage : kFallbackLanguage;
}

QStringList TranslationFolders() {
    const QString executableFolder = QCoreApplication::applicationDirPath();
    return {executableFolder + QStringLiteral("/translations"),
            executableFolder + QStringLiteral("/../share/kestrovamail/translations")};
}

std::string InstallUiTranslation(const LocaleEnvironment& environment, QStringList folders) {
    if (folders.isEmpty())
        folders = TranslationFolders();
    const std::string language = PickUiLanguage(environment, AvailableTranslations(folders));

    // The program's translator and Qt's own (the buttons of message boxes, file and colour
    // dialogs), for the life of the program; installing again replaces them.
    static std::unique_ptr<QTranslator> program;
    static std::unique_ptr<QTranslator> qt;
    for (auto* translator : {&program, &qt}) {
        if (*translator)
            QCoreApplication::removeTranslator(translator->get());
        translator->reset();
    }
    auto install = [](std::unique_ptr<QTranslator>& slot, const QString& name,
                      const QString& folder) {
        auto loaded = std::make_unique<QTranslator>();
        if (!loaded->load(name, folder))
            return false;
        slot = std::move(loaded);
        QCoreApplication::installTranslator(slot.get());
        return true;
    };
    install(qt, QStringLiteral("qtbase_%1").arg(QString::fromStdString(language)),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (language == kSourceLanguage)
        return language;
    for (const QString& folder : folders) {
        if (install(program, QmName(language), folder))
            return language;
    }
    return kSourceLanguage; // no translation file found: the texts as written
}

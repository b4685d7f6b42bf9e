#include "app/runtime/ProgramFolderCheck.h"

#include "app/report/ScreenText.h"
#include "base/ProgramFolder.h"

#include <QCoreApplication>

namespace {

template <class... Arguments> std::string Tr(const char* text, const Arguments&... arguments) {
    return TranslatedText("ProgramFolderCheck", text, {std::string_view(arguments)...});
}

} // namespace

std::string ProgramFolderRefusal(const std::string& folder) {
    const std::string shown = folder.empty() ? "./" : folder;
    switch (SecureProgramFolder(folder)) {
    case FolderSafety::Private:
    case FolderSafety::Closed:
        return {};
    case FolderSafety::NotOwned:
        return Tr(QT_TRANSLATE_NOOP("ProgramFolderCheck",
                                    "フォルダ %1 は別のユーザーのものなので使いません。"
                                    "自分のフォルダを KESTROVAMAIL_HOME で指定してください"),
                  shown);
    case FolderSafety::WritableByOthers:
        return Tr(QT_TRANSLATE_NOOP("ProgramFolderCheck",
                                    "フォルダ %1 は他のユーザーも書き込めるため使いません。"
                                    "chmod 700 %1 で自分だけのフォルダにしてください"),
                  shown);
    case FolderSafety::Unusable:
        break;
    }
    return Tr(
        QT_TRANSLATE_NOOP("ProgramFolderCheck",
                          "フォルダ %1 を作れないか、自分だけのフォルダにできないため使いません"),
        shown);
}

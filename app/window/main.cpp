// KestrovaMail: a camera that answers e-mail.
// For now: load the settings, log the start, save the settings and show the log.
#include "app/ActivityLog.h"
#include "app/Clock.h"
#include "app/ProgramFolder.h"
#include "app/SettingsStore.h"

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <cstdio>

namespace {

class MessageBoxSink final : public IMessageSink {
public:
    void ShowMessage(const std::string& utf8Text) override {
        QMessageBox::warning(nullptr, QStringLiteral("KestrovaMail"),
                             QString::fromStdString(utf8Text));
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const std::string folder = ProgramFolder();
    MessageBoxSink sink;
    Settings settings;
    LoadSettings(settings, folder, sink);

    QPlainTextEdit logView;
    logView.setReadOnly(true);
    logView.setWindowTitle(QStringLiteral("KestrovaMail"));
    logView.resize(480, 240);

    SystemClock clock;
    ActivityLog log(settings.app, folder, clock);
    log.SetObserver([&logView](std::string_view added, const std::string& wholeText) {
        std::fwrite(added.data(), 1, added.size(), stdout);
        std::fflush(stdout);
        logView.setPlainText(QString::fromStdString(wholeText));
        logView.verticalScrollBar()->setValue(logView.verticalScrollBar()->maximum());
    });
    log.AddLog("KestrovaMailを開始しました。");
    SaveSettings(settings, folder, sink);

    logView.show();
    int result = app.exec();
    SaveSettings(settings, folder, sink);
    return result;
}

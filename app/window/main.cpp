// KestrovaMail: a camera that answers e-mail.
#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("KestrovaMail"));
    label.show();
    return app.exec();
}

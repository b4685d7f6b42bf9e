#pragma once
// The About box: the preview bitmap with the version, a line of text and the IJG notice in
// white; a click anywhere closes it.

#include <QDialog>
#include <QPixmap>

class AboutDialog final : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    static constexpr const char* kVersion = "version 1.10";
    static constexpr const char* kSecondLine = "Kestrova Mail for Linux";
    static constexpr const char* kJpegNotice =
        "This software is based in part\n on the work of the Independent JPEG Group.";

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap m_bitmap;
};

#include "dialogs/TimerDialog.h"

#include "dialogs/DialogSupport.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

CTimerDialog::CTimerDialog(int seconds, QWidget* parent) : QDialog(parent), m_secondsLeft(seconds) {
    setWindowTitle(tr("KestrovaMail - 起動タイマー"));
    ApplyDialogFont(this);

    m_countdown = new QLineEdit(this);
    SetControlId(m_countdown, kIdCountdown);
    m_countdown->setReadOnly(true);
    m_countdown->setAlignment(Qt::AlignCenter);
    m_countdown->setFocusPolicy(Qt::NoFocus);
    m_countdown->setMinimumWidth(260);

    auto* startNow = new QPushButton(tr("今すぐ起動"), this);
    SetControlId(startNow, kIdStartNow);
    startNow->setDefault(true);
    auto* hideButton = new QPushButton(tr("非表示"), this);
    SetControlId(hideButton, kIdHide);
    auto* dontStart = new QPushButton(tr("起動しない"), this);
    SetControlId(dontStart, kIdDontStart);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(startNow);
    buttons->addWidget(hideButton);
    buttons->addWidget(dontStart);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_countdown);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(startNow, &QPushButton::clicked, this, &QDialog::accept);
    connect(hideButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(dontStart, &QPushButton::clicked, this, &QDialog::reject);

    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &CTimerDialog::OnTick);
}

int CTimerDialog::exec() {
    QEventLoop loop;
    m_loop = &loop;
    setResult(Rejected);
    setWindowModality(Qt::ApplicationModal);
    m_countdown->clear(); // empty until the first tick
    m_tick.start();
    show();
    QPointer<CTimerDialog> self(this);
    loop.exec(QEventLoop::DialogExec);
    if (!self)
        return Rejected;
    m_loop = nullptr;
    return result();
}

void CTimerDialog::done(int result) {
    m_tick.stop();
    setResult(result);
    QDialog::done(result);
    if (m_loop)
        m_loop->exit();
}

void CTimerDialog::OnTick() {
    if (m_secondsLeft <= 0) {
        accept();
        return;
    }
    m_countdown->setText(tr("%1秒後にKestrovaMailを起動します").arg(m_secondsLeft));
    --m_secondsLeft;
}

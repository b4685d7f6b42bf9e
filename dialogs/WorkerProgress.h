#pragma once
// Runs a piece of mail work for a dialog on the mail worker while a progress box says what is
// happening and offers "キャンセル". The dialog stays responsive; cancelling ends the work's
// network waits at once. Without a worker (tests of the dialog alone) the work runs here,
// under the busy cursor.

#include "app/service/MailWorker.h"
#include "dialogs/BusyCursor.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

template <class Result>
std::optional<Result> RunWithProgress(QWidget* parent, CMailWorker* worker, const QString& label,
                                      std::function<Result(const CCancelSignal* cancel)> work) {
    if (!worker) {
        BusyCursor busy;
        return work(nullptr);
    }
    auto result = std::make_shared<std::optional<Result>>();
    QProgressDialog progress(label, QCoreApplication::translate("DialogSupport", "キャンセル"), 0,
                             0, parent);
    progress.setWindowTitle(QStringLiteral("KestrovaMail"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QPointer<QProgressDialog> box(&progress);
    // The result goes to the application object, which outlives every dialog: a job that ends
    // after its box was cancelled and its dialog closed must not post to a destroyed parent.
    // The box is looked at on the user-interface thread only.
    const uint64_t job = worker->Post([result, work, box](const CCancelSignal& cancel) {
        Result value = work(&cancel);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [result, value = std::move(value), box] {
                *result = value;
                if (box)
                    box->accept();
            },
            Qt::QueuedConnection);
    });
    if (job == 0)
        return std::nullopt;
    if (progress.exec() != QDialog::Accepted || !*result) {
        worker->Cancel(job); // its waits end at once; its late result is dropped
        return std::nullopt;
    }
    return *result;
}

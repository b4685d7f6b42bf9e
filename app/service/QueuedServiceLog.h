#pragma once
// The activity log as the mail worker writes it: every line is queued to the thread of the
// context object (the user-interface thread, which owns the log and its file) and written
// there, in the order the worker made them.

#include "app/report/ServiceLog.h"

#include <QMetaObject>
#include <QObject>
#include <string>

class CQueuedServiceLog final : public IServiceLog {
public:
    CQueuedServiceLog(QObject* context, IServiceLog& target) : m_context(context), m_target(target) {}

    void AddLog(const std::string& message) override {
        QMetaObject::invokeMethod(
            m_context, [this, message] { m_target.AddLog(message); }, Qt::QueuedConnection);
    }
    void WriteLogFile(const std::string& message) override {
        QMetaObject::invokeMethod(
            m_context, [this, message] { m_target.WriteLogFile(message); },
            Qt::QueuedConnection);
    }

private:
    QObject* m_context;
    IServiceLog& m_target;
};

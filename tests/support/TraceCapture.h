#pragma once

#include <QLoggingCategory>
#include <QStringList>

/// Collects the program's trace lines (the "chakushin" logging category) while it lives,
/// with the category's debug output switched on.
class TraceCapture
{
public:
    TraceCapture()
    {
        lines().clear();
        QLoggingCategory::setFilterRules(QStringLiteral("chakushin.debug=true"));
        m_previous = qInstallMessageHandler(&TraceCapture::capture);
    }
    ~TraceCapture()
    {
        qInstallMessageHandler(m_previous);
        QLoggingCategory::setFilterRules(QString());
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    static QStringList& lines()
    {
        static QStringList captured;
        return captured;
    }

private:
    static void capture(QtMsgType, const QMessageLogContext& context, const QString& message)
    {
        if (context.category && QByteArrayView(context.category) == "chakushin")
            lines().append(message);
    }

    QtMessageHandler m_previous = nullptr;
};

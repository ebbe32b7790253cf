#pragma once

#include "app/Logging.h"

#include <QStringList>
#include <QtGlobal>

/// Collects the developer trace lines (`DebugLog`) while it lives. The test environment
/// switches the category off, so it is switched on here and back off afterwards. The state
/// under test still needs `debugmode` "True" for DebugLog to emit.
class TraceCapture
{
public:
    TraceCapture()
    {
        s_active = this;
        m_previous = qInstallMessageHandler(&TraceCapture::handle);
        s_previousFilter = QLoggingCategory::installFilter(&TraceCapture::filter);
    }
    ~TraceCapture()
    {
        // Reinstalling the earlier filter re-evaluates every category, switching ours back.
        QLoggingCategory::installFilter(s_previousFilter);
        qInstallMessageHandler(m_previous);
        s_active = nullptr;
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    QStringList lines;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (s_active && context.category && qstrcmp(context.category, kCategory) == 0) {
            s_active->lines.append(message);
            return;
        }
        if (s_active && s_active->m_previous)
            s_active->m_previous(type, context, message);
    }

    static void filter(QLoggingCategory* category)
    {
        if (s_previousFilter)
            s_previousFilter(category);
        // Compared by name: calling lcChakushin() here would take the lock Qt holds while filtering.
        if (qstrcmp(category->categoryName(), kCategory) == 0)
            category->setEnabled(QtDebugMsg, true);
    }

    static constexpr const char* kCategory = "chakushin";
    static inline TraceCapture* s_active = nullptr;
    static inline QLoggingCategory::CategoryFilter s_previousFilter = nullptr;
    QtMessageHandler m_previous = nullptr;
};

#include "history/CallEvent.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<CallEvent::Kind, const char*>, 4> kKinds{{
    {CallEvent::Kind::Claim, "claim"},
    {CallEvent::Kind::Message, "message"},
    {CallEvent::Kind::CalledBack, "calledback"},
    {CallEvent::Kind::Done, "done"},
}};

} // namespace

QString kindText(CallEvent::Kind kind)
{
    for (const auto& [k, text] : kKinds)
        if (k == kind)
            return QString::fromLatin1(text);
    return {};
}

std::optional<CallEvent::Kind> kindOf(const QString& text)
{
    for (const auto& [kind, name] : kKinds)
        if (text == QLatin1String(name))
            return kind;
    return std::nullopt;
}

bool CallProgress::isOpenFor(const QString& person) const
{
    return !person.isEmpty() && std::find(openFor.begin(), openFor.end(), person) != openFor.end();
}

CallProgress progressOf(const std::vector<CallEvent>& events)
{
    CallProgress progress;
    // The open messages, and whether any of them wants a call-back.
    std::vector<const CallEvent*> open;
    bool closed = false;
    for (const CallEvent& event : events) {
        switch (event.kind) {
        case CallEvent::Kind::Claim:
            if (progress.claimer.isEmpty())
                progress.claimer = event.person;
            break;
        case CallEvent::Kind::Message:
            open.push_back(&event);
            progress.memo = event.to.isEmpty() ? event.text : honorific(event.to) + QStringLiteral("へ: ") + event.text;
            break;
        case CallEvent::Kind::CalledBack:
        case CallEvent::Kind::Done:
            open.clear();
            closed = true;
            break;
        }
    }
    for (const CallEvent* message : open)
        if (std::find(progress.openFor.begin(), progress.openFor.end(), message->to) == progress.openFor.end())
            progress.openFor.push_back(message->to);
    const bool callBack = std::any_of(open.begin(), open.end(), [](const CallEvent* m) { return m->callBack; });
    if (callBack)
        progress.state = CallProgress::State::AwaitCallBack;
    else if (!open.empty())
        progress.state = CallProgress::State::Message;
    else if (closed)
        progress.state = CallProgress::State::Done;
    else if (!progress.claimer.isEmpty())
        progress.state = CallProgress::State::Claimed;
    return progress;
}

QString stateText(CallProgress::State state)
{
    switch (state) {
    case CallProgress::State::Open:
        return QStringLiteral("未対応");
    case CallProgress::State::Claimed:
        return QStringLiteral("対応中");
    case CallProgress::State::Message:
        return QStringLiteral("伝言あり");
    case CallProgress::State::AwaitCallBack:
        return QStringLiteral("折り返し待ち");
    case CallProgress::State::Done:
        return QStringLiteral("完了");
    }
    return {};
}

QString honorific(const QString& person)
{
    return person + QStringLiteral("さん");
}

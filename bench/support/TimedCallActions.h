#pragma once

#include "calls/BrowserLauncher.h"
#include "history/CallHistory.h"

#include <chrono>
#include <functional>
#include <vector>

/// Notes the moments each call of the wrapped action came in and returned, then tells the observer
/// (if any) with the call's argument. The stamps are reserved up front so that taking them
/// costs no allocation inside the measured path.
class CallStamps
{
public:
    using Clock = std::chrono::steady_clock;
    using Observer = std::function<void(const QString& argument)>;

    /// Room for `count` calls, already resident, so that the stamps do not show up as the
    /// program's memory growth.
    void reserve(std::size_t count)
    {
        m_entered.assign(count, Clock::time_point{});
        m_entered.clear();
        m_stamps.assign(count, Clock::time_point{});
        m_stamps.clear();
    }
    void setObserver(Observer observer) { m_observer = std::move(observer); }
    std::size_t count() const { return m_stamps.size(); }
    Clock::time_point at(std::size_t index) const { return m_stamps.at(index); }
    Clock::time_point last() const { return m_stamps.back(); }
    /// When the last call came in, before the wrapped action ran.
    Clock::time_point lastEntered() const { return m_entered.back(); }

protected:
    void enter() { m_entered.push_back(Clock::now()); }
    void stamp(const QString& argument)
    {
        m_stamps.push_back(Clock::now());
        if (m_observer)
            m_observer(argument);
    }

private:
    std::vector<Clock::time_point> m_entered;
    std::vector<Clock::time_point> m_stamps;
    Observer m_observer;
};

/// The real launcher (`inner`, or the one `wrap` names later), timed: a stamp when
/// `OpenUrlInBrowser` returns, that is once the browser process has been started.
class TimedLauncher final : public BrowserLauncher, public CallStamps
{
public:
    explicit TimedLauncher(BrowserLauncher* inner = nullptr)
        : m_inner(inner)
    {}
    void wrap(BrowserLauncher& inner) { m_inner = &inner; }

    void OpenUrlInBrowser(const QString& url) override
    {
        enter();
        m_inner->OpenUrlInBrowser(url);
        stamp(url);
    }

private:
    BrowserLauncher* m_inner;
};

/// The real history (the one `wrap` names), timed: a stamp when `WriteCallHistory` returns,
/// that is once the row is committed and durable. The journal entry made when the line is
/// read is part of the time to every later stamp.
class TimedHistory final : public CallHistory, public CallStamps
{
public:
    void wrap(CallHistory& inner) { m_inner = &inner; }

    qint64 journal(const QString& number, const QDateTime& calldate) override
    {
        return m_inner->journal(number, calldate);
    }

    void WriteCallHistory(const QString& number, const Arrival& arrival) override
    {
        enter();
        m_inner->WriteCallHistory(number, arrival);
        stamp(number);
    }

private:
    CallHistory* m_inner = nullptr;
};

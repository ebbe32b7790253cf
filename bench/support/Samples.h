#pragma once

#include <QString>

#include <chrono>
#include <cstddef>
#include <vector>

/// The measured durations of one quantity. Percentiles are nearest-rank: p99 of 200
/// samples is the second largest.
class Samples
{
public:
    using Duration = std::chrono::nanoseconds;

    void reserve(std::size_t count) { m_values.reserve(count); }
    void add(Duration value) { m_values.push_back(value); }
    std::size_t count() const { return m_values.size(); }
    bool isEmpty() const { return m_values.empty(); }

    /// Zero when there are no samples.
    Duration percentile(double percent) const;
    Duration p50() const { return percentile(50); }
    Duration p99() const { return percentile(99); }
    Duration max() const;

private:
    std::vector<Duration> m_values;
};

/// Milliseconds with three decimals ("0.412").
QString milliseconds(std::chrono::nanoseconds value);
/// "3.2x"; "-" when the base is zero.
QString ratio(std::chrono::nanoseconds value, std::chrono::nanoseconds base);

/// How long `work` took; `ok` turns false when `work` returns false.
template<typename Work> std::chrono::nanoseconds timed(Work&& work, bool& ok)
{
    const auto start = std::chrono::steady_clock::now();
    ok = work() && ok;
    return std::chrono::steady_clock::now() - start;
}

#include "Samples.h"

#include <algorithm>
#include <cmath>

Samples::Duration Samples::percentile(double percent) const
{
    if (m_values.empty())
        return Duration::zero();
    std::vector<Duration> sorted = m_values;
    const auto rank = static_cast<std::size_t>(std::ceil(percent / 100.0 * static_cast<double>(sorted.size())));
    const std::size_t index = std::clamp<std::size_t>(rank, 1, sorted.size()) - 1;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(index), sorted.end());
    return sorted[index];
}

Samples::Duration Samples::max() const
{
    return m_values.empty() ? Duration::zero() : *std::max_element(m_values.begin(), m_values.end());
}

QString milliseconds(std::chrono::nanoseconds value)
{
    return QString::number(std::chrono::duration<double, std::milli>(value).count(), 'f', 3);
}

QString ratio(std::chrono::nanoseconds value, std::chrono::nanoseconds base)
{
    if (base.count() <= 0)
        return QStringLiteral("-");
    return QString::number(double(value.count()) / double(base.count()), 'f', 1) + u'x';
}

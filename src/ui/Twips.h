#pragma once

#include <QRect>

#include <cmath>

/// The windows are laid out in twips, as the adapters' original tools were: 15 twips to a
/// logical pixel (1440 twips an inch at 96 dpi). Qt scales logical pixels on high-density
/// screens itself.
inline constexpr double kTwipsPerPixel = 15.0;

inline int twipsToPixels(double twips)
{
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

/// A control's place given as left, top, width and height in twips.
inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

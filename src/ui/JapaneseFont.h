#pragma once

#include <QFont>

/// The windows' Japanese proportional Gothic face (IPAPGothic) at `pointSize`, falling back
/// to other CJK families so that a machine without it still shows the glyphs.
QFont japaneseFont(qreal pointSize);

/// Sizes the windows use.
inline constexpr qreal kButtonPointSize = 9.75;
inline constexpr qreal kTextBoxPointSize = 9.0;
inline constexpr qreal kPopupPointSize = 11.25;

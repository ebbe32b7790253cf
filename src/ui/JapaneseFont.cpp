#include "ui/JapaneseFont.h"

#include <QStringList>

QFont japaneseFont(qreal pointSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("Noto Sans JP"), QStringLiteral("TakaoPGothic"), QStringLiteral("VL PGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Droid Sans Fallback"),
                      QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Sans Serif")});
    font.setPointSizeF(pointSize);
    return font;
}

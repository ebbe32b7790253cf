#include "ui/Pictures.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

namespace {

constexpr int kCtiPictureSize = 100;

} // namespace

QIcon builtInWindowIcon()
{
    return QIcon(QStringLiteral(":/ui/pictures/chakushin.png"));
}

QIcon builtInStandbyOnIcon()
{
    return QIcon(QStringLiteral(":/ui/pictures/standby_on.png"));
}

QPixmap builtInCtiPicture()
{
    return builtInWindowIcon().pixmap(kCtiPictureSize, kCtiPictureSize);
}

QIcon iconFromFile(const QString& path, const QIcon& fallback)
{
    // QIcon takes any path and only finds out when it is drawn, which would leave an empty
    // picture; read it now instead.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return fallback;
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull())
        return fallback;
    return QIcon(QPixmap::fromImage(image));
}

QIcon withBadge(const QIcon& icon, int count)
{
    if (count <= 0)
        return icon;
    constexpr int kSide = 64;
    QPixmap picture = icon.pixmap(kSide, kSide);
    if (picture.isNull()) {
        picture = QPixmap(kSide, kSide);
        picture.fill(Qt::transparent);
    }
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(kSide * 0.42, kSide * 0.42, kSide * 0.58, kSide * 0.58);
    painter.setPen(QPen(Qt::white, 3));
    painter.setBrush(QColor(0xd0, 0x10, 0x10));
    painter.drawEllipse(disc);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(count > 9 ? kSide / 4 : kSide / 3);
    painter.setFont(font);
    painter.drawText(disc, Qt::AlignCenter, count > 9 ? QStringLiteral("9+") : QString::number(count));
    painter.end();
    return QIcon(picture);
}

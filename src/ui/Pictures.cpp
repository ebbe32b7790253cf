#include "ui/Pictures.h"

#include <QFileInfo>
#include <QImageReader>

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

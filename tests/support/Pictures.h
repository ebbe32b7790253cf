#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

/// What an icon looks like, for comparing pictures.
inline QImage pictureOf(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

/// Writes a 16 x 16 picture of one colour to `path`.
inline void paintPicture(const QString& path, Qt::GlobalColor colour)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(colour);
    image.save(path);
}

#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

/// The pictures built into the program, and picture files named by the settings.

/// The window icon used when `iconFile` cannot be loaded; also the popup's icon and the
/// off icon when `iconFile_off` cannot be loaded.
QIcon builtInWindowIcon();
/// The standby-on icon of the tray. Never read from the settings.
QIcon builtInStandbyOnIcon();
/// The picture of `ImgCti`, 100 × 100 pixels.
QPixmap builtInCtiPicture();

/// The picture in the file at `path` as an icon; `fallback` when the file is missing,
/// empty, a directory or not a picture.
QIcon iconFromFile(const QString& path, const QIcon& fallback);

/// `icon` with a red disc in its lower right corner holding `count` ("9+" above nine); `icon`
/// itself for a count of 0.
QIcon withBadge(const QIcon& icon, int count);

#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

// Writes icons in the formats IconReader reads: a .ico file with one 32 x 32 32-bit image,
// and a minimal PE file whose resources hold icon groups, standing in for a game executable.
class IconFile
{
public:
    enum class PeFormat { Pe32, Pe32Plus };

    static bool writeIco(const QImage &image, const QString &path);
    static QByteArray makeIco(const QImage &image);

    // One RT_GROUP_ICON with one RT_ICON.
    static QByteArray makePeWithIcon(const QImage &image, PeFormat format = PeFormat::Pe32);
    // One group per image; the first group is named "MAINICON", the others have IDs 1, 2, ...
    static QByteArray makePeWithIcons(const QList<QImage> &images, PeFormat format = PeFormat::Pe32);

    // The 32 x 32 32-bit DIB with AND mask that both formats embed.
    static QByteArray makeDib(const QImage &image);
};

#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class QIODevice;

// Reads the first icon of a file the way the shell shows it in a list: .ico files, the icon
// resources of Windows executables and DLLs, and ordinary pictures. Reads only the bytes it
// needs, by seeking, and gives a null image for anything it cannot make sense of.
class IconReader
{
public:
    static constexpr int IconSize = 32;
    static constexpr int CanvasSize = 33; // 495 twips at 96 dpi
    static constexpr qint64 ReadBudget = 8 * 1024 * 1024;

    explicit IconReader(QIODevice *device);

    // The icon of the device's content as ARGB32, or a null image.
    QImage read();

    // Exactly `length` bytes at `offset`, or an empty array when they are not all there
    // or the read budget is spent.
    QByteArray readAt(qint64 offset, qint64 length);
    qint64 size() const { return m_size; }
    qint64 bytesRead() const { return m_bytesRead; }

    static QImage firstIcon(const QString &path);
    static QImage firstIconFromBytes(const QByteArray &bytes);

    // A white CanvasSize square with the icon drawn at its top-left corner.
    static QImage iconCanvas(const QString &path);
    static QImage canvasFor(const QImage &icon);

private:
    QImage readIco();
    QImage readPe();
    QImage readPicture();
    static bool looksLikeSvg(const QByteArray &bytes);
    static QByteArray builtInFormat(const QByteArray &bytes);
    static QImage renderSvg(const QByteArray &bytes);

    QIODevice *m_device;
    qint64 m_size = 0;
    qint64 m_bytesRead = 0;
};

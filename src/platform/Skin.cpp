#include "platform/Skin.h"

#include <QApplication>
#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The bytes of a regular file of at most limit + 1 bytes; a FIFO, a device or a link to one
// is never opened for reading, so nothing here can block or run on for ever.
QByteArray readRegularFile(const QString &path, qint64 limit)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::stat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return QByteArray();
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    // The name may have been swapped for something else between the two looks.
    QByteArray bytes;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        bytes.resize(limit + 1);
        qint64 total = 0;
        while (total < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + total, size_t(bytes.size() - total));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            total += got;
        }
        bytes.truncate(total);
    }
    ::close(fd);
    return bytes;
}

} // namespace

QString Skin::readStyleSheet(const QString &path)
{
    const QByteArray bytes = readRegularFile(path, MaxBytes);
    if (bytes.size() > MaxBytes || bytes.contains('\0'))
        return QString();
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return QString();
    // A style sheet's rules are blocks; text without balanced braces is not one.
    const qsizetype open = text.count(u'{');
    if (open == 0 || open != text.count(u'}'))
        return QString();
    return text;
}

bool Skin::apply(const QString &path)
{
    const QString styleSheet = readStyleSheet(path);
    if (styleSheet.isEmpty())
        return false;
    qApp->setStyleSheet(styleSheet);
    return true;
}

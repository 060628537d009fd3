#include "cafe/CatalogueConfig.h"

#include "cafe/ServerAddress.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QSysInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The bytes of a regular file of at most limit + 1 bytes, or why there are none. A FIFO, a
// device or a link to one is never opened for reading, so nothing here blocks or runs on for ever.
QByteArray readRegularFile(const QString &path, qint64 limit, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(strerror(errno));
        return QByteArray();
    }
    QByteArray bytes;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = u"不是普通文件"_s;
    } else {
        bytes.resize(limit + 1);
        qint64 total = 0;
        while (total < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + total, size_t(bytes.size() - total));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                *error = QString::fromLocal8Bit(strerror(errno));
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

CatalogueConfig CatalogueConfig::load(const QString &programDirectory)
{
    CatalogueConfig config;
    const QString path = programDirectory + u'/' + QString::fromUtf16(FileName);
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 && errno == ENOENT)
        return config;
    QString readError;
    const QByteArray bytes = readRegularFile(path, MaxBytes, &readError);
    if (!readError.isEmpty() || bytes.size() > MaxBytes) {
        config.m_error =
            readError.isEmpty() ? u"文件超过 %1 KiB。"_s.arg(MaxBytes / 1024) : u"无法读取（%1）。"_s.arg(readError);
        return config;
    }
    // Qt's INI reader only reads a named file: it is given a private copy of the bytes read.
    QTemporaryFile copy;
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush()) {
        config.m_error = u"无法读取（%1）。"_s.arg(copy.errorString());
        return config;
    }
    const QSettings settings(copy.fileName(), QSettings::IniFormat);
    const QVariant value = settings.value(u"catalogue/server"_s);
    if (settings.status() != QSettings::NoError) {
        config.m_error = u"文件格式不正确（无法读取）。"_s;
        return config;
    }
    if (!value.isValid())
        return config;
    // An unquoted comma splits an INI value into a list; host lists in an address use commas.
    const QString uri = value.toStringList().join(u',').trimmed();
    if (uri.isEmpty()) {
        config.m_error = u"[catalogue] 中的 server 为空。"_s;
        return config;
    }
    if (const QString error = ServerAddress::syntaxError(uri); !error.isEmpty()) {
        config.m_error = u"server 不是有效的连接地址（%1）：%2"_s.arg(ServerAddress::withoutPassword(uri), error);
        return config;
    }
    if (const QString error = ServerAddress::fileOptionError(uri); !error.isEmpty()) {
        config.m_error = error;
        return config;
    }
    config.m_serverUri = uri;
    // Names longer than the server keeps are cut rather than refused, so the PC is still counted.
    const QString name = settings.value(u"client/name"_s).toStringList().join(u',').trimmed();
    config.m_clientName = (name.isEmpty() ? QSysInfo::machineHostName() : name).left(64);
    return config;
}

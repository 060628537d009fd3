#include "platform/FileSystem.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileSystem {

namespace {

int openNew(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

} // namespace

bool createNew(const QString &path)
{
    const int fd = openNew(path);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool createNew(const QString &path, QFile &file)
{
    const int fd = openNew(path);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

bool replace(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool renameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without that rename: a hard link is never made over an existing name either.
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    ::unlink(source.constData());
    return true;
}

std::optional<bool> nameTaken(const QString &path)
{
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0)
        return true;
    if (errno == ENOENT)
        return false;
    return std::nullopt;
}

QString makeUniqueDirectory(const QString &pattern)
{
    QByteArray name = QFile::encodeName(pattern);
    if (!::mkdtemp(name.data()))
        return {};
    return QFile::decodeName(name);
}

std::optional<QByteArray> readRegularFile(const QString &path, qint64 limit, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const auto systemError = [] { return QString::fromLocal8Bit(strerror(errno)); };
    const QByteArray name = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::stat(name.constData(), &info) != 0)
        return fail(systemError());
    if (!S_ISREG(info.st_mode))
        return fail(QStringLiteral("不是普通文件"));
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(systemError());
    // The name may have been swapped for something else between the two looks.
    QByteArray bytes;
    QString why;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = QStringLiteral("不是普通文件");
    } else {
        bytes.resize(limit + 1);
        qint64 total = 0;
        while (total < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + total, static_cast<size_t>(bytes.size() - total));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                why = systemError();
            if (got <= 0)
                break;
            total += got;
        }
        bytes.truncate(total);
    }
    ::close(fd);
    if (!why.isEmpty())
        return fail(why);
    return bytes;
}

std::optional<FileKey> keyOf(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileKey{static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)};
}

bool runsAsRoot()
{
    return ::geteuid() == 0;
}

Kind kindOf(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ENOENT ? Kind::Missing : Kind::Unknown;
    if (S_ISREG(info.st_mode))
        return Kind::Regular;
    return S_ISDIR(info.st_mode) ? Kind::Directory : Kind::Other;
}

} // namespace FileSystem

#include "platform/FileSystem.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
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

} // namespace FileSystem

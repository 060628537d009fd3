#include "StagingFolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Never replaces the target name, whatever is there, and never follows a link there.
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

} // namespace

StagingFolder::StagingFolder(const QString &targetDirectory)
    : m_target(QDir(targetDirectory).absolutePath())
{
    QByteArray pattern = QFile::encodeName(m_target + u"/.juyoutai-staging-XXXXXX"_s);
    if (!::mkdtemp(pattern.data()))
        fail(u"无法创建临时目录：%1（%2）"_s.arg(m_target, systemError(errno)));
    m_path = QFile::decodeName(pattern);
}

StagingFolder::~StagingFolder()
{
    QDir(m_path).removeRecursively();
}

QString StagingFolder::filePath(const QString &name) const
{
    return m_path + u'/' + name;
}

void StagingFolder::requireFree(const QString &targetDirectory, const QStringList &names)
{
    for (const QString &name : names) {
        const QString path = QDir(targetDirectory).absoluteFilePath(name);
        struct stat info
        {
        };
        if (::lstat(QFile::encodeName(path).constData(), &info) == 0)
            fail(u"已存在（文件、目录或链接），不会覆盖：%1"_s.arg(path));
        if (errno != ENOENT)
            fail(u"无法检查：%1（%2）"_s.arg(path, systemError(errno)));
    }
}

void StagingFolder::moveIntoPlace(const QStringList &names)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString target = m_target + u'/' + names.at(i);
        if (renameNoReplace(filePath(names.at(i)), target))
            continue;
        const int error = errno;
        for (qsizetype back = i - 1; back >= 0; --back)
            renameNoReplace(m_target + u'/' + names.at(back), filePath(names.at(back)));
        fail(error == EEXIST ? u"已存在（文件、目录或链接），不会覆盖：%1"_s.arg(target)
                             : u"无法移入目标目录：%1（%2）"_s.arg(target, systemError(error)));
    }
}

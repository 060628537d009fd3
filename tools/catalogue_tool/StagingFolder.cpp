#include "StagingFolder.h"

#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

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

} // namespace

StagingFolder::StagingFolder(const QString &targetDirectory)
    : m_target(QDir(targetDirectory).absolutePath())
{
    m_path = FileSystem::makeUniqueDirectory(m_target + u"/.juyoutai-staging-XXXXXX"_s);
    if (m_path.isEmpty())
        fail(u"无法创建临时目录：%1（%2）"_s.arg(m_target, systemError(errno)));
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
        const std::optional<bool> taken = FileSystem::nameTaken(path);
        if (taken.value_or(false))
            fail(u"已存在（文件、目录或链接），不会覆盖：%1"_s.arg(path));
        if (!taken)
            fail(u"无法检查：%1（%2）"_s.arg(path, systemError(errno)));
    }
}

void StagingFolder::moveIntoPlace(const QStringList &names)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString target = m_target + u'/' + names.at(i);
        if (FileSystem::renameNoReplace(filePath(names.at(i)), target))
            continue;
        const int error = errno;
        for (qsizetype back = i - 1; back >= 0; --back)
            FileSystem::renameNoReplace(m_target + u'/' + names.at(back), filePath(names.at(back)));
        fail(error == EEXIST ? u"已存在（文件、目录或链接），不会覆盖：%1"_s.arg(target)
                             : u"无法移入目标目录：%1（%2）"_s.arg(target, systemError(error)));
    }
}

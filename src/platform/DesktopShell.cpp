#include "platform/DesktopShell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

using namespace Qt::StringLiterals;

DesktopShell::DesktopShell()
    : m_defaultOpener(&DesktopShell::openWithDesktop)
{
}

LaunchResult DesktopShell::open(const QString &file, const QString &arguments, const QString &workingDir)
{
    const QFileInfo info(file);
    if (file.isEmpty() || !info.exists())
        return {false, u"文件不存在"_s};
    if (!workingDir.isEmpty() && !QFileInfo(workingDir).isDir())
        return {false, u"工作目录不存在"_s};
    if (isExecutableFile(file)) {
        if (!info.isExecutable())
            return {false, u"权限不足"_s};
        return startDetached(file, launchArguments(arguments), workingDir);
    }
    if (!info.isReadable())
        return {false, u"权限不足"_s};
    if (!m_defaultOpener(info.absoluteFilePath(), workingDir))
        return {false, u"没有可以打开此文件的程序"_s};
    return {true, {}};
}

LaunchResult DesktopShell::openFolder(const QString &dir)
{
    const QFileInfo info(dir);
    if (dir.isEmpty() || !info.isDir())
        return {false, u"文件夹不存在"_s};
    if (!m_defaultOpener(info.absoluteFilePath(), QString()))
        return {false, u"没有可以打开此文件夹的程序"_s};
    return {true, {}};
}

void DesktopShell::setDefaultOpener(DefaultOpener opener)
{
    m_defaultOpener = opener ? std::move(opener) : DefaultOpener(&DesktopShell::openWithDesktop);
}

bool DesktopShell::openWithDesktop(const QString &path, const QString &workingDir)
{
    // xdg-open honours the working directory; the desktop services cannot take one.
    const QString xdgOpen = QStandardPaths::findExecutable(u"xdg-open"_s);
    if (!xdgOpen.isEmpty())
        return QProcess::startDetached(xdgOpen, {path}, workingDir);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool DesktopShell::isExecutableFile(const QString &file)
{
    const QFileInfo info(file);
    const auto anyExec = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    return info.isFile() && (info.permissions() & anyExec);
}

LaunchResult DesktopShell::startDetached(const QString &file, const QStringList &arguments, const QString &workingDir)
{
    QProcess process;
    // An absolute path, so that a name without a slash is never looked up in PATH.
    process.setProgram(QFileInfo(file).absoluteFilePath());
    process.setArguments(arguments);
    process.setWorkingDirectory(workingDir);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return {false, u"无法启动程序：%1"_s.arg(process.errorString())};
    return {true, {}};
}

#include "platform/FileDialogs.h"

#include <QDir>
#include <QFileDialog>

QList<FileDialogs::Request> FileDialogs::s_requests;
QList<QString> FileDialogs::s_folders;
QList<QString> FileDialogs::s_files;
bool FileDialogs::s_testMode = false;

QString FileDialogs::BrowseFolder(QWidget *owner, const QString &title)
{
    s_requests.append({Request::Folder, title, QString(), QString()});
    if (s_testMode)
        return s_folders.isEmpty() ? QString() : s_folders.takeFirst();
    const QString dir = QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
    return QDir::toNativeSeparators(dir);
}

QString FileDialogs::OpenFileName(QWidget *owner, const QString &title, const QString &filter,
                                  const QString &initialDir)
{
    s_requests.append({Request::File, title, filter, initialDir});
    if (s_testMode)
        return s_files.isEmpty() ? QString() : s_files.takeFirst();
    const QString file = QFileDialog::getOpenFileName(owner, title, initialDir, filter);
    return QDir::toNativeSeparators(file);
}

void FileDialogs::setTestMode(bool on)
{
    s_testMode = on;
    s_requests.clear();
    s_folders.clear();
    s_files.clear();
}

void FileDialogs::setNextFolder(const QString &path)
{
    s_folders.append(path);
}

void FileDialogs::setNextFileName(const QString &path)
{
    s_files.append(path);
}

QList<FileDialogs::Request> FileDialogs::takeRequests()
{
    QList<Request> result;
    result.swap(s_requests);
    return result;
}

#include "FileDialogsScript.h"

namespace {

QList<FileDialogs::Request> s_requests;
QList<QString> s_folders;
QList<QString> s_files;

QString answer(const FileDialogs::Request &request)
{
    s_requests.append(request);
    QList<QString> &answers = request.kind == FileDialogs::Request::Folder ? s_folders : s_files;
    return answers.isEmpty() ? QString() : answers.takeFirst();
}

} // namespace

void FileDialogsScript::setTestMode(bool on)
{
    s_requests.clear();
    s_folders.clear();
    s_files.clear();
    FileDialogs::setPicker(on ? FileDialogs::Picker(answer) : FileDialogs::Picker());
}

void FileDialogsScript::setNextFolder(const QString &path)
{
    s_folders.append(path);
}

void FileDialogsScript::setNextFileName(const QString &path)
{
    s_files.append(path);
}

QList<FileDialogs::Request> FileDialogsScript::takeRequests()
{
    QList<FileDialogs::Request> result;
    result.swap(s_requests);
    return result;
}

#pragma once

#include <QList>
#include <QString>

class QWidget;

// The folder and file pickers. Tests switch on test mode and script the next answer;
// every request is recorded so its title, filter and initial folder can be checked.
class FileDialogs
{
public:
    struct Request
    {
        enum Kind { Folder, File } kind = Folder;
        QString title;
        QString filter;
        QString initialDir;
    };

    // The chosen directory, or an empty text when the user cancels.
    static QString BrowseFolder(QWidget *owner, const QString &title);
    // The chosen file's full path, or an empty text when the user cancels.
    static QString OpenFileName(QWidget *owner, const QString &title, const QString &filter,
                                const QString &initialDir);

    // Test hooks.
    static void setTestMode(bool on);
    static void setNextFolder(const QString &path);   // an empty text answers as Cancel
    static void setNextFileName(const QString &path); // an empty text answers as Cancel
    static QList<Request> takeRequests();

private:
    static QList<Request> s_requests;
    static QList<QString> s_folders;
    static QList<QString> s_files;
    static bool s_testMode;
};

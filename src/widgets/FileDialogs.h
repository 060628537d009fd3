#pragma once

#include <QString>

#include <functional>

class QWidget;

// The folder and file pickers.
class FileDialogs
{
public:
    struct Request
    {
        enum Kind { Folder, File, SaveFile } kind = Folder;
        QString title;
        QString filter;
        QString initialDir;
    };

    // The chosen directory, or an empty text when the user cancels.
    static QString BrowseFolder(QWidget *owner, const QString &title);
    // The chosen file's full path, or an empty text when the user cancels.
    static QString OpenFileName(QWidget *owner, const QString &title, const QString &filter, const QString &initialDir);
    // The full path to save to (the picker asks before replacing a file), or an empty text on Cancel.
    static QString SaveFileName(QWidget *owner, const QString &title, const QString &filter, const QString &suggested);

    // Answers requests without showing a picker, so that no modal loop ever blocks a test; an
    // empty picker brings the real dialogs back.
    using Picker = std::function<QString(const Request &request)>;
    static void setPicker(Picker picker);

private:
    static Picker s_picker;
};

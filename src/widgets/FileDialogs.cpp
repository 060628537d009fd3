#include "widgets/FileDialogs.h"

#include <QDir>
#include <QFileDialog>

FileDialogs::Picker FileDialogs::s_picker;

QString FileDialogs::BrowseFolder(QWidget *owner, const QString &title)
{
    if (s_picker)
        return s_picker({Request::Folder, title, QString(), QString()});
    const QString dir = QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
    return QDir::toNativeSeparators(dir);
}

QString FileDialogs::OpenFileName(QWidget *owner, const QString &title, const QString &filter,
                                  const QString &initialDir)
{
    if (s_picker)
        return s_picker({Request::File, title, filter, initialDir});
    const QString file = QFileDialog::getOpenFileName(owner, title, initialDir, filter);
    return QDir::toNativeSeparators(file);
}

QString FileDialogs::SaveFileName(QWidget *owner, const QString &title, const QString &filter, const QString &suggested)
{
    if (s_picker)
        return s_picker({Request::SaveFile, title, filter, suggested});
    const QString file = QFileDialog::getSaveFileName(owner, title, suggested, filter);
    return QDir::toNativeSeparators(file);
}

void FileDialogs::setPicker(Picker picker)
{
    s_picker = std::move(picker);
}

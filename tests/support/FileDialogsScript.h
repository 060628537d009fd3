#pragma once

#include "widgets/FileDialogs.h"

#include <QList>

// Stands in for the pickers: every request is recorded so its title, filter and initial folder
// can be checked, and answered from a script; an empty answer is a Cancel.
class FileDialogsScript
{
public:
    // On: starts a new record and script. Off: the real pickers again.
    static void setTestMode(bool on);
    static void setNextFolder(const QString &path);
    static void setNextFileName(const QString &path);
    static QList<FileDialogs::Request> takeRequests();
};

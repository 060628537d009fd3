#pragma once

#include <QString>

// The skin file beside the program restyles every window of the process. It is a Qt style
// sheet in UTF-8; a missing, binary or invalid file is ignored and start-up goes on.
class Skin
{
public:
    static bool apply(const QString &path);
    // The style sheet in the file, or an empty text when the file cannot serve as one.
    static QString readStyleSheet(const QString &path);

    static constexpr qint64 MaxBytes = 1024 * 1024;
};

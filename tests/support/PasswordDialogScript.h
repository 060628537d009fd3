#pragma once

#include <QString>

// Stands in for the password dialog: nothing is shown, every request is counted and answered
// from a script, Cancel when the script is empty.
class PasswordDialogScript
{
public:
    // On: starts a new count and script. Off: the real dialog again.
    static void setTestMode(bool on);
    static void setNextAnswer(const QString &password);
    static void setNextCancel();
    // How often the dialog was asked for since the last call.
    static int takeAsked();
};

#pragma once

#include "widgets/MessageBox.h"

#include <QList>

// Stands in for the message box: nothing is shown, every box is recorded and answered from
// a script, Ok when the script is empty.
class MessageBoxScript
{
public:
    // On: starts a new record and script. Off: the real box again.
    static void setTestMode(bool on);
    static void setNextAnswer(int answer);
    static QList<MessageBox::Shown> takeShown();
    static QList<MessageBox::Shown> shown();
};

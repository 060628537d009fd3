#pragma once

#include <QList>
#include <QString>

class QWidget;

// Message boxes with the styles of the whole program: a button set (0 OK, 1 OK and Cancel)
// plus an icon (48 exclamation, 64 information). Returns 1 for OK and 2 for Cancel.
// Tests switch on test mode: nothing is shown, every box is recorded and answered from a script.
class MessageBox
{
public:
    enum Answer { Ok = 1, Cancel = 2 };
    enum Style { OkOnly = 0, OkCancel = 1, Exclamation = 48, Information = 64 };

    struct Shown
    {
        QString text;
        int style = 0;
        QString title;
    };

    static int show(QWidget *parent, const QString &text, int style, const QString &title);

    // Test hooks.
    static void setTestMode(bool on);
    static void setNextAnswer(int answer); // queued; without one, test mode answers Ok
    static QList<Shown> takeShown();
    static QList<Shown> shown();

private:
    static QList<Shown> s_shown;
    static QList<int> s_answers;
    static bool s_testMode;
};

// The program's message box call.
int MsgBox(const QString &text, int style = MessageBox::OkOnly, const QString &title = QString());

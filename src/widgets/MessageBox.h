#pragma once

#include <QString>

#include <functional>

class QWidget;

// Message boxes with the styles of the whole program: a button set (0 OK, 1 OK and Cancel)
// plus an icon (48 exclamation, 64 information). Returns 1 for OK and 2 for Cancel.
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

    // Answers boxes without showing them, so that no modal loop ever blocks a test; an empty
    // presenter brings the real box back.
    using Presenter = std::function<int(const Shown &box)>;
    static void setPresenter(Presenter presenter);

private:
    static Presenter s_presenter;
};

// The program's message box call.
int MsgBox(const QString &text, int style = MessageBox::OkOnly, const QString &title = QString());

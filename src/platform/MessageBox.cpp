#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

QList<MessageBox::Shown> MessageBox::s_shown;
QList<int> MessageBox::s_answers;
bool MessageBox::s_testMode = false;

namespace {

QMessageBox::Icon iconFor(int style)
{
    switch (style & 0x70) {
    case MessageBox::Exclamation:
        return QMessageBox::Warning;
    case MessageBox::Information:
        return QMessageBox::Information;
    case 16:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

int MessageBox::show(QWidget *parent, const QString &text, int style, const QString &title)
{
    s_shown.append({text, style, title});
    if (s_testMode)
        return s_answers.isEmpty() ? Ok : s_answers.takeFirst();

    const bool withCancel = (style & 0x0F) == OkCancel;
    // Every box has one of the program's own titles; a missing one reads as a notice
    QMessageBox box(iconFor(style), title.isEmpty() ? QStringLiteral("提示") : title, text,
                    withCancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok, parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    if (withCancel)
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    return box.exec() == QMessageBox::Ok ? Ok : Cancel;
}

void MessageBox::setTestMode(bool on)
{
    s_testMode = on;
    s_answers.clear();
    s_shown.clear();
}

void MessageBox::setNextAnswer(int answer)
{
    s_answers.append(answer);
}

QList<MessageBox::Shown> MessageBox::takeShown()
{
    QList<Shown> result;
    result.swap(s_shown);
    return result;
}

QList<MessageBox::Shown> MessageBox::shown()
{
    return s_shown;
}

int MsgBox(const QString &text, int style, const QString &title)
{
    return MessageBox::show(QApplication::activeWindow(), text, style, title);
}

#include "widgets/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

MessageBox::Presenter MessageBox::s_presenter;

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
    if (s_presenter)
        return s_presenter({text, style, title});

    const bool withCancel = (style & 0x0F) == OkCancel;
    // Every box has one of the program's own titles; a missing one reads as a notice
    QMessageBox box(iconFor(style), title.isEmpty() ? QStringLiteral("提示") : title, text,
                    withCancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok, parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    if (withCancel)
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    return box.exec() == QMessageBox::Ok ? Ok : Cancel;
}

void MessageBox::setPresenter(Presenter presenter)
{
    s_presenter = std::move(presenter);
}

int MsgBox(const QString &text, int style, const QString &title)
{
    return MessageBox::show(QApplication::activeWindow(), text, style, title);
}

#include "widgets/PasswordDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

PasswordDialog::Presenter PasswordDialog::s_presenter;

PasswordDialog::PasswordDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(u"PasswordDialog"_s);
    setWindowTitle(u"管理员密码"_s);
    setModal(true);

    auto *label = new QLabel(u"请输入管理员密码："_s, this);
    m_password = new QLineEdit(this);
    m_password->setObjectName(u"TextPassword"_s);
    m_password->setEchoMode(QLineEdit::Password);
    label->setBuddy(m_password);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(u"确定"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"取消"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_password);
    layout->addWidget(buttons);
    setFixedWidth(280);
}

QString PasswordDialog::password() const
{
    return m_password->text();
}

std::optional<QString> PasswordDialog::ask(QWidget *parent)
{
    if (s_presenter)
        return s_presenter();
    PasswordDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.password();
}

void PasswordDialog::setPresenter(Presenter presenter)
{
    s_presenter = std::move(presenter);
}

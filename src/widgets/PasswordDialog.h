#pragma once

#include <QDialog>

#include <functional>
#include <optional>

class QLineEdit;

// The small modal dialog "管理员密码" that asks for the operator password without showing it.
class PasswordDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PasswordDialog(QWidget *parent = nullptr);

    QString password() const;

    // The password entered, or nothing when the user cancels.
    static std::optional<QString> ask(QWidget *parent);

    // Answers requests without showing the dialog, so that no modal loop ever blocks a test;
    // an empty presenter brings the real dialog back.
    using Presenter = std::function<std::optional<QString>()>;
    static void setPresenter(Presenter presenter);

private:
    QLineEdit *m_password = nullptr;
    static Presenter s_presenter;
};

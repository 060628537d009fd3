#include "widgets/PasswordDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;

class tst_PasswordDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void asksWithoutShowingThePassword_data();
    void asksWithoutShowingThePassword();
};

void tst_PasswordDialog::asksWithoutShowingThePassword_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("确定") << true;
    QTest::newRow("取消") << false;
}

void tst_PasswordDialog::asksWithoutShowingThePassword()
{
    QFETCH(bool, accept);
    QString title;
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    // Answers the real dialog from inside its modal loop, so it never waits for a person
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<PasswordDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        answer.stop();
        title = dialog->windowTitle();
        auto *edit = dialog->findChild<QLineEdit *>(u"TextPassword"_s);
        echo = edit->echoMode();
        QTest::keyClicks(edit, u"secret 1"_s);
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        buttons->button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    });
    answer.start(10);
    const std::optional<QString> password = PasswordDialog::ask(nullptr);
    QCOMPARE(title, u"管理员密码"_s);
    QCOMPARE(echo, QLineEdit::Password);
    QCOMPARE(password, accept ? std::optional<QString>(u"secret 1"_s) : std::nullopt);
}

QTEST_MAIN(tst_PasswordDialog)
#include "tst_PasswordDialog.moc"

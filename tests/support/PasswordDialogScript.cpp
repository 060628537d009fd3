#include "PasswordDialogScript.h"

#include "widgets/PasswordDialog.h"

#include <QList>

#include <optional>

namespace {

int s_asked = 0;
QList<std::optional<QString>> s_answers;

} // namespace

void PasswordDialogScript::setTestMode(bool on)
{
    s_asked = 0;
    s_answers.clear();
    if (!on) {
        PasswordDialog::setPresenter({});
        return;
    }
    PasswordDialog::setPresenter([]() -> std::optional<QString> {
        ++s_asked;
        return s_answers.isEmpty() ? std::nullopt : s_answers.takeFirst();
    });
}

void PasswordDialogScript::setNextAnswer(const QString &password)
{
    s_answers.append(password);
}

void PasswordDialogScript::setNextCancel()
{
    s_answers.append(std::nullopt);
}

int PasswordDialogScript::takeAsked()
{
    const int asked = s_asked;
    s_asked = 0;
    return asked;
}

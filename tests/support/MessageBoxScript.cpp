#include "MessageBoxScript.h"

namespace {

QList<MessageBox::Shown> s_shown;
QList<int> s_answers;

} // namespace

void MessageBoxScript::setTestMode(bool on)
{
    s_shown.clear();
    s_answers.clear();
    if (!on) {
        MessageBox::setPresenter({});
        return;
    }
    MessageBox::setPresenter([](const MessageBox::Shown &box) {
        s_shown.append(box);
        return s_answers.isEmpty() ? int(MessageBox::Ok) : s_answers.takeFirst();
    });
}

void MessageBoxScript::setNextAnswer(int answer)
{
    s_answers.append(answer);
}

QList<MessageBox::Shown> MessageBoxScript::takeShown()
{
    QList<MessageBox::Shown> result;
    result.swap(s_shown);
    return result;
}

QList<MessageBox::Shown> MessageBoxScript::shown()
{
    return s_shown;
}

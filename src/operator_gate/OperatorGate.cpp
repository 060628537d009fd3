#include "operator_gate/OperatorGate.h"

#include "catalogue/Catalogue.h"
#include "operator/LocalOperatorSession.h"
#include "operator_gate/OperatorWork.h"
#include "widgets/BusyWork.h"
#include "widgets/MessageBox.h"
#include "widgets/PasswordDialog.h"

#include <QScopeGuard>
#include <QWidget>

#include <algorithm>

using namespace Qt::StringLiterals;

OperatorGate::OperatorGate(QObject *parent)
    : QObject(parent)
    , m_session(std::make_unique<LocalOperatorSession>(Catalogue::CatalogueConnectionObject()))
{
}

OperatorGate::~OperatorGate()
{
    if (m_openWindows > 0)
        m_session->end();
}

void OperatorGate::setSession(std::unique_ptr<OperatorSession> session)
{
    Q_ASSERT(m_openWindows == 0);
    m_session = std::move(session);
}

bool OperatorGate::open(QWidget *parentWindow, const WindowOpener &openWindow)
{
    if (!enter(parentWindow))
        return false;
    auto leaveAgain = qScopeGuard([this] { leave(); });
    QWidget *window = openWindow();
    if (window) {
        connect(window, &QObject::destroyed, this, &OperatorGate::leave);
        leaveAgain.dismiss();
    }
    return true;
}

bool OperatorGate::enter(QWidget *parentWindow)
{
    // One operator's check or server work at a time: a second one would share the connection.
    if (BusyWork::running() || m_checking)
        return false;
    if (m_openWindows > 0) {
        ++m_openWindows;
        return true;
    }
    if (!check(*m_session, parentWindow))
        return false;
    ++m_openWindows;
    return true;
}

bool OperatorGate::openWith(OperatorSession &session, QWidget *parentWindow, const std::function<void()> &openWindow)
{
    if (BusyWork::running() || m_checking || !check(session, parentWindow))
        return false;
    openWindow();
    return true;
}

bool OperatorGate::check(OperatorSession &session, QWidget *parentWindow)
{
    QString password;
    if (session.passwordRequired()) {
        const std::optional<QString> answer = PasswordDialog::ask(parentWindow);
        if (!answer)
            return false;
        password = *answer;
    }
    m_checking = true;
    const auto checked = qScopeGuard([this] { m_checking = false; });
    OperatorSession::Result result;
    OperatorWork::run(nullptr, session.checkingText(),
                      [&session, &result, &password] { result = session.begin(password); });
    switch (result.outcome) {
    case OperatorSession::Outcome::Granted:
        m_wrongPasswords = 0;
        return true;
    case OperatorSession::Outcome::WrongPassword:
        waitAfterWrongPassword();
        MsgBox(u"管理员密码错误！"_s, MessageBox::Exclamation, u"错误"_s);
        return false;
    case OperatorSession::Outcome::Unavailable:
        MsgBox(result.message, MessageBox::Exclamation, u"错误"_s);
        return false;
    }
    return false;
}

void OperatorGate::waitAfterWrongPassword()
{
    const int doublings = std::min(m_wrongPasswords++, 16);
    const qint64 delay = std::min(qint64(m_passwordDelayMs) << doublings, qint64(m_passwordDelayMs) * PasswordDelayCap);
    const qint64 seconds = (delay + 999) / 1000;
    BusyWork::wait(nullptr, u"管理员密码错误，%1 秒后可以再试…"_s.arg(seconds), int(delay));
}

void OperatorGate::leave() noexcept
{
    if (m_openWindows > 0 && --m_openWindows == 0) {
        m_session->end();
        Q_EMIT sessionEnded();
    }
}

#pragma once

#include <QString>

// Guards the windows that change the catalogue: each opening begins a session with the
// operator's password and ends it when the window closes. Kinds differ in where the password
// is checked and in what a granted session opens for the writes.
class OperatorSession
{
public:
    enum class Outcome { Granted, WrongPassword, Unavailable };

    struct Result
    {
        Outcome outcome = Outcome::Unavailable;
        QString message; // why, when Unavailable
    };

    virtual ~OperatorSession() = default;

    // Whether begin needs the password; when this cannot be told, false, and begin says why.
    virtual bool passwordRequired() = 0;
    // Failures come back as Unavailable with a message for the operator; nothing is thrown. Runs off
    // the window's thread, so that a server slow to answer does not hold the windows.
    virtual Result begin(const QString &password) = 0;
    // What the operator is shown while begin runs.
    virtual QString checkingText() const { return QStringLiteral(u"正在验证密码…"); }
    // Closes what a granted begin opened.
    virtual void end() noexcept = 0;
};

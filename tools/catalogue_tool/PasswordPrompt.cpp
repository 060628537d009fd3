#include "PasswordPrompt.h"

#include "platform/TerminalEcho.h"

#include <QTextStream>

#include <sodium.h>

#include <cstdio>

using namespace Qt::StringLiterals;

std::optional<QString> PasswordPrompt::readLine(bool terminal, const QString &prompt, QTextStream &err)
{
    // Echo goes off before the prompt shows, so not one typed character reaches the screen.
    TerminalEcho echo;
    if (terminal)
        echo.turnOff();
    if (terminal)
        err << prompt << Qt::flush;
    QByteArray line;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n')
        line.append(char(c));
    const bool ended = c != EOF || !line.isEmpty();
    echo.restore();
    if (line.endsWith('\r'))
        line.chop(1);
    const QString text = QString::fromUtf8(line);
    sodium_memzero(line.data(), size_t(line.size()));
    if (!ended)
        return std::nullopt;
    return text;
}

std::optional<QString> PasswordPrompt::readNewPassword(QTextStream &err)
{
    const bool terminal = TerminalEcho::inputIsTerminal();
    const std::optional<QString> first = readLine(terminal, u"请输入管理员密码:"_s, err);
    if (!first || first->isEmpty()) {
        err << u"错误: 密码不能为空\n"_s;
        return std::nullopt;
    }
    if (!terminal)
        return first;
    const std::optional<QString> second = readLine(terminal, u"请再次输入:"_s, err);
    if (!second || *second != *first) {
        err << u"错误: 两次输入的密码不一致\n"_s;
        return std::nullopt;
    }
    return first;
}

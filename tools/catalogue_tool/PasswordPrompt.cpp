#include "PasswordPrompt.h"

#include <QTextStream>

#include <sodium.h>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

std::optional<QString> PasswordPrompt::readLine(bool terminal, const QString &prompt, QTextStream &err)
{
    termios saved{};
    const bool echoOff = terminal && tcgetattr(STDIN_FILENO, &saved) == 0;
    // Echo goes off before the prompt shows, so not one typed character reaches the screen.
    if (echoOff) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL; // the Enter still moves to the next line
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    if (terminal)
        err << prompt << Qt::flush;
    QByteArray line;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n')
        line.append(char(c));
    const bool ended = c != EOF || !line.isEmpty();
    if (echoOff)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
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
    const bool terminal = isatty(STDIN_FILENO) == 1;
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

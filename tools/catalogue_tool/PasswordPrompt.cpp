#include "PasswordPrompt.h"

#include "platform/TerminalEcho.h"

#include <QTextStream>

#include <sodium.h>

#include <cstdio>

using namespace Qt::StringLiterals;

PasswordPrompt::Read PasswordPrompt::readLine(bool terminal, const QString &prompt, QString &text, QTextStream &err)
{
    // Echo goes off before the prompt shows, so not one typed character reaches the screen.
    TerminalEcho echo;
    if (terminal)
        echo.turnOff();
    if (terminal)
        err << prompt << Qt::flush;
    QByteArray line;
    line.reserve(MaxBytes + 1);
    int c = 0;
    while (line.size() <= MaxBytes && (c = std::fgetc(stdin)) != EOF && c != '\n')
        line.append(static_cast<char>(c));
    const bool tooLong = line.size() > MaxBytes;
    const bool ended = !tooLong && c == EOF && line.isEmpty();
    // Restoring flushes, which also drops the rest of an overlong typed line.
    echo.restore();
    if (line.endsWith('\r'))
        line.chop(1);
    if (!tooLong)
        text = QString::fromUtf8(line);
    sodium_memzero(line.data(), size_t(line.size()));
    return tooLong ? Read::TooLong : ended ? Read::Ended : Read::Line;
}

std::optional<QString> PasswordPrompt::readNewPassword(QTextStream &err)
{
    const bool terminal = TerminalEcho::inputIsTerminal();
    const auto tooLong = [&err] {
        err << u"错误: 密码过长（最多 %1 字节），未做任何修改\n"_s.arg(MaxBytes);
        return std::nullopt;
    };
    QString first;
    const Read read = readLine(terminal, u"请输入管理员密码:"_s, first, err);
    if (read == Read::TooLong)
        return tooLong();
    if (read == Read::Ended || first.isEmpty()) {
        err << u"错误: 密码不能为空\n"_s;
        return std::nullopt;
    }
    if (!terminal)
        return first;
    QString second;
    const Read again = readLine(terminal, u"请再次输入:"_s, second, err);
    if (again == Read::TooLong)
        return tooLong();
    if (again == Read::Ended || second != first) {
        err << u"错误: 两次输入的密码不一致\n"_s;
        return std::nullopt;
    }
    return first;
}

#pragma once

#include <QString>

#include <optional>

class QTextStream;

// Reads a new password from standard input: on a terminal it asks twice without echo,
// otherwise it takes the first line. Reports on err and returns nothing on a refusal.
class PasswordPrompt
{
public:
    // Longer input is refused unread, so an input that never ends cannot hold the tool.
    static constexpr int MaxBytes = 1024;

    static std::optional<QString> readNewPassword(QTextStream &err);

private:
    enum class Read { Line, Ended, TooLong };
    static Read readLine(bool terminal, const QString &prompt, QString &text, QTextStream &err);
};

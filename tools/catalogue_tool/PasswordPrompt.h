#pragma once

#include <QString>

#include <optional>

class QTextStream;

// Reads a new password from standard input: on a terminal it asks twice without echo,
// otherwise it takes the first line. Reports on err and returns nothing on a refusal.
class PasswordPrompt
{
public:
    static std::optional<QString> readNewPassword(QTextStream &err);

private:
    static std::optional<QString> readLine(bool terminal, const QString &prompt, QTextStream &err);
};

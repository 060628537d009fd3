#pragma once

#include <QString>

#include <exception>

// A failure reported by the catalogue store: its error number and its description.
class CatalogueError : public std::exception
{
public:
    // Numbers of the server's failures and of refused edits, above every number of the file store.
    enum Number : int {
        ServerFailed = 1000,
        ServerUnreachable = 1001,
        ServerConnectionLost = 1002,
        ServerLoginRefused = 1003,
        ServerPermissionDenied = 1004,
        RowChanged = 1005,
        ServerOutcomeUnknown = 1006, // the connection went while the server committed, or not
        WrongThread = 1007, // a thread that does not own the connection called it
    };

    CatalogueError(int number, QString description)
        : m_number(number)
        , m_description(std::move(description))
        , m_what(m_description.toUtf8())
    {
    }

    int number() const { return m_number; }
    QString description() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

    // The text of an error box: the context, the number, a short explanation where one
    // is known, and the store's own description, each on a line of its own.
    QString message(const QString &context) const;
    // The text of the box that ends the program when the catalogue cannot be opened.
    QString connectionMessage() const;

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};

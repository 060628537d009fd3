#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The [Desktop Entry] group of one .desktop file; the other groups (actions) are not read.
class DesktopEntry
{
public:
    // An unreadable or binary file gives an entry that is not valid, with the reason.
    static DesktopEntry read(const QString &path);
    static DesktopEntry parse(const QByteArray &content, const QString &path = {});

    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    QString path() const { return m_path; }

    // The raw value with the escapes \s \n \t \r \\ resolved; null when the key is absent.
    QString value(const QString &key) const;
    bool boolValue(const QString &key) const;
    // A ";"-separated list; "\;" stands for a literal semicolon.
    QStringList listValue(const QString &key) const;
    // Name[zh_CN], else Name[zh], else Name.
    QString chineseName() const;

private:
    static QString unescape(const QString &raw);

    QString m_path;
    QString m_error;
    QHash<QString, QString> m_values;
};

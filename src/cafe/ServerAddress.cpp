#include "cafe/ServerAddress.h"

#include "cafe/Libpq.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <libpq-fe.h>

using namespace Qt::StringLiterals;

namespace {

// The user information of a URI ends at its first '@', as libpq reads it; the password follows the first ':'.
const QRegularExpression UriPassword(u"^(\\s*postgres(?:ql)?://[^@/:]*:)([^@/]*)(?=@)"_s,
                                     QRegularExpression::CaseInsensitiveOption);
const QRegularExpression QueryPassword(u"([?&]password=)([^&]*)"_s, QRegularExpression::CaseInsensitiveOption);
// A quoted value may run unterminated to the end; what libpq cannot parse is hidden all the same.
const QRegularExpression KeywordPassword(u"((?:^|\\s)password\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'?|\\S*)"_s,
                                         QRegularExpression::CaseInsensitiveOption);

// Every password of the address, as written in it.
QStringList passwordsIn(const QString &address)
{
    QStringList passwords;
    for (const QRegularExpression *pattern : {&UriPassword, &QueryPassword, &KeywordPassword}) {
        for (const QRegularExpressionMatch &match : pattern->globalMatch(address))
            if (!match.captured(2).isEmpty())
                passwords.append(match.captured(2));
    }
    return passwords;
}

QString hidden(QString text, const QStringList &passwords)
{
    for (const QString &password : passwords)
        text.replace(password, u"***"_s);
    return text;
}

// A name that exists and is not of the kind expected; a missing file is libpq's own business.
bool isWrongKind(const QString &path, bool directory)
{
    const FileSystem::Kind kind = FileSystem::kindOf(path);
    if (kind == FileSystem::Kind::Missing || kind == FileSystem::Kind::Unknown)
        return false;
    return kind != (directory ? FileSystem::Kind::Directory : FileSystem::Kind::Regular);
}

QString wrongKindIn(const QString &key, const QString &path)
{
    if (key == u"sslcrldir"_s) {
        if (isWrongKind(path, true))
            return path;
        // The revocation lists in it are opened by name as they are needed.
        const QDir folder(path);
        for (const QString &name :
             folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            if (isWrongKind(folder.filePath(name), false))
                return folder.filePath(name);
        return QString();
    }
    if (key == u"service"_s) {
        // The service files are not named in the address, but the service makes libpq read them.
        const QString home = QDir::homePath() + u"/.pg_service.conf"_s;
        const QString user = qEnvironmentVariableIsSet("PGSERVICEFILE") ? qEnvironmentVariable("PGSERVICEFILE") : home;
        QStringList files{user};
        if (qEnvironmentVariableIsSet("PGSYSCONFDIR"))
            files.append(qEnvironmentVariable("PGSYSCONFDIR") + u"/pg_service.conf"_s);
        for (const QString &file : files)
            if (isWrongKind(file, false))
                return file;
        return QString();
    }
    return isWrongKind(path, false) ? path : QString();
}

} // namespace

QString ServerAddress::withoutPassword(const QString &address)
{
    QString text = address;
    text.replace(UriPassword, u"\\1***"_s);
    text.replace(QueryPassword, u"\\1***"_s);
    text.replace(KeywordPassword, u"\\1***"_s);
    return text;
}

QString ServerAddress::syntaxError(const QString &address)
{
    // Without libpq nothing can read the address; connecting tells why.
    if (!Libpq::available())
        return QString();
    char *message = nullptr;
    PQconninfoOption *options = PQconninfoParse(address.toUtf8().constData(), &message);
    QString error;
    if (!options)
        error = message ? QString::fromUtf8(message).trimmed() : u"内存不足"_s;
    PQconninfoFree(options);
    PQfreemem(message);
    // libpq quotes the address, or the part of it it stumbled on.
    return hidden(error.replace(address, withoutPassword(address)), passwordsIn(address));
}

QString ServerAddress::fileOptionError(const QString &address)
{
    static const char *const fileKeys[] = {"sslrootcert", "sslcert",  "sslkey", "sslcrl",
                                           "sslcrldir",   "passfile", "service"};
    PQconninfoOption *options = PQconninfoParse(address.toUtf8().constData(), nullptr);
    QString error;
    for (PQconninfoOption *option = options; option && option->keyword && error.isEmpty(); ++option) {
        if (!option->val || !*option->val
            || std::none_of(std::begin(fileKeys), std::end(fileKeys),
                            [option](const char *key) { return qstrcmp(key, option->keyword) == 0; }))
            continue;
        const QString key = QString::fromLatin1(option->keyword);
        if (const QString path = wrongKindIn(key, QString::fromUtf8(option->val)); !path.isEmpty())
            error = u"server 中 %1 用到的 %2 不是普通文件。"_s.arg(key, path);
    }
    PQconninfoFree(options);
    return error;
}

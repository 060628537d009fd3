#pragma once

#include <QByteArray>
#include <QFunctionPointer>
#include <QLibrary>
#include <QString>

// PostgreSQL's client library, opened the first time the program talks to a server: a menu without
// one never loads it, nor the score of libraries it needs (TLS, Kerberos, LDAP...). The PQ functions
// the project calls are defined in LibpqFunctions.cpp and forward to the ones looked up here; without
// the library they answer as libpq does for a connection that could not be made.
class Libpq
{
public:
    // libpq's function of that name, or null when libpq cannot be loaded or lacks it. The first call loads it.
    static QFunctionPointer resolve(const char *name);
    // Why libpq could not be loaded, for the user; empty when it is loaded. Loads it if need be.
    static QByteArray loadError();
    static bool available() { return loadError().isEmpty(); }
    // Tests name a file that does not exist, before anything uses libpq; an empty name restores libpq's own.
    static void setFileNameForTesting(const QString &fileName);

private:
    Libpq();
    static Libpq &instance();

    QLibrary m_library;
    QByteArray m_error;
};

#pragma once

#include <QString>

// What the menu checks and shows of a server address, a libpq URI or key=value string.
class ServerAddress
{
public:
    // The address with every password in it replaced by ***, for messages.
    static QString withoutPassword(const QString &address);
    // libpq's complaint about the address, passwords hidden; empty when it parses.
    static QString syntaxError(const QString &address);
    // Why a file the address names cannot be used, empty when none is in the way: libpq would
    // block for ever opening a FIFO or a device as a certificate, key or password file.
    static QString fileOptionError(const QString &address);
};

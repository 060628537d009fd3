#pragma once

#include <QString>

// The optional juyoutai.ini beside the program. Without it, or without a server in it, the menu
// keeps its catalogue in the local file only; with one it mirrors the room's server.
class CatalogueConfig
{
public:
    static constexpr char16_t FileName[] = u"juyoutai.ini";
    // A few lines are all it holds; anything larger is not such a file.
    static constexpr qint64 MaxBytes = 64 * 1024;
    // The server keeps a PC's name up to this many characters (code points).
    static constexpr int MaxClientNameLength = 64;

    // Reads the file in the given folder; never throws.
    static CatalogueConfig load(const QString &programDirectory);

    // True when a well-formed server address was found.
    bool isCafe() const { return !m_serverUri.isEmpty(); }
    QString serverUri() const { return m_serverUri; }
    // How this PC names itself to the server: [client] name=, else the machine's host name, cut
    // after MaxClientNameLength characters, never inside one.
    QString clientName() const { return m_clientName; }
    // Where the web search goes: [web] search=, as written (the menu checks it); empty without one.
    QString webSearch() const { return m_webSearch; }
    // A Chinese description of what is wrong with the file, empty when nothing is.
    QString error() const { return m_error; }

private:
    QString m_serverUri;
    QString m_clientName;
    QString m_webSearch;
    QString m_error;
};

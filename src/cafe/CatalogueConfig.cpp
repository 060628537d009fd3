#include "cafe/CatalogueConfig.h"

#include "cafe/ServerAddress.h"
#include "platform/FileSystem.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QSysInfo>
#include <QTemporaryFile>

using namespace Qt::StringLiterals;

namespace {

// The first count characters of text; a character beyond the Basic Multilingual Plane is two
// UTF-16 units and is kept or dropped whole.
QString firstCharacters(const QString &text, int count)
{
    qsizetype end = 0;
    for (int n = 0; n < count && end < text.size(); ++n) {
        const bool pair = text.at(end).isHighSurrogate() && end + 1 < text.size() && text.at(end + 1).isLowSurrogate();
        end += pair ? 2 : 1;
    }
    return text.left(end);
}

} // namespace

CatalogueConfig CatalogueConfig::load(const QString &programDirectory)
{
    CatalogueConfig config;
    const QString path = programDirectory + u'/' + QString::fromUtf16(FileName);
    if (FileSystem::kindOf(path) == FileSystem::Kind::Missing)
        return config;
    QString readError;
    const QByteArray bytes = FileSystem::readRegularFile(path, MaxBytes, &readError).value_or(QByteArray());
    if (!readError.isEmpty() || bytes.size() > MaxBytes) {
        config.m_error =
            readError.isEmpty() ? u"文件超过 %1 KiB。"_s.arg(MaxBytes / 1024) : u"无法读取（%1）。"_s.arg(readError);
        return config;
    }
    // Qt's INI reader only reads a named file: it is given a private copy of the bytes read.
    QTemporaryFile copy;
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush()) {
        config.m_error = u"无法读取（%1）。"_s.arg(copy.errorString());
        return config;
    }
    const QSettings settings(copy.fileName(), QSettings::IniFormat);
    const QVariant value = settings.value(u"catalogue/server"_s);
    if (settings.status() != QSettings::NoError) {
        config.m_error = u"文件格式不正确（无法读取）。"_s;
        return config;
    }
    // Read whether or not the room's server is named
    config.m_webSearch = settings.value(u"web/search"_s).toStringList().join(u',').trimmed();
    if (!value.isValid())
        return config;
    // An unquoted comma splits an INI value into a list; host lists in an address use commas.
    const QString uri = value.toStringList().join(u',').trimmed();
    if (uri.isEmpty()) {
        config.m_error = u"[catalogue] 中的 server 为空。"_s;
        return config;
    }
    if (const QString error = ServerAddress::syntaxError(uri); !error.isEmpty()) {
        config.m_error = u"server 不是有效的连接地址（%1）：%2"_s.arg(ServerAddress::withoutPassword(uri), error);
        return config;
    }
    if (const QString error = ServerAddress::fileOptionError(uri); !error.isEmpty()) {
        config.m_error = error;
        return config;
    }
    config.m_serverUri = uri;
    // Names longer than the server keeps are cut rather than refused, so the PC is still counted.
    const QString name = settings.value(u"client/name"_s).toStringList().join(u',').trimmed();
    config.m_clientName = firstCharacters(name.isEmpty() ? QSysInfo::machineHostName() : name, MaxClientNameLength);
    return config;
}

#include "cafe/CatalogueConfig.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QSysInfo>

#include <libpq-fe.h>

using namespace Qt::StringLiterals;

namespace {

// libpq's own verdict on the address, so that every option it knows is accepted as written.
QString connectionStringError(const QString &uri)
{
    char *message = nullptr;
    PQconninfoOption *options = PQconninfoParse(uri.toUtf8().constData(), &message);
    QString error;
    if (!options)
        error = message ? QString::fromUtf8(message).trimmed() : u"内存不足"_s;
    PQconninfoFree(options);
    PQfreemem(message);
    return error;
}

} // namespace

CatalogueConfig CatalogueConfig::load(const QString &programDirectory)
{
    CatalogueConfig config;
    const QString path = programDirectory + u'/' + QString::fromUtf16(FileName);
    if (!QFileInfo::exists(path))
        return config;
    QSettings settings(path, QSettings::IniFormat);
    const QVariant value = settings.value(u"catalogue/server"_s);
    if (settings.status() != QSettings::NoError) {
        config.m_error = u"文件格式不正确（无法读取）。"_s;
        return config;
    }
    if (!value.isValid())
        return config;
    // An unquoted comma splits an INI value into a list; host lists in an address use commas.
    const QString uri = value.toStringList().join(u',').trimmed();
    if (uri.isEmpty()) {
        config.m_error = u"[catalogue] 中的 server 为空。"_s;
        return config;
    }
    if (const QString error = connectionStringError(uri); !error.isEmpty()) {
        config.m_error = u"server 不是有效的连接地址：%1"_s.arg(error);
        return config;
    }
    config.m_serverUri = uri;
    // Names longer than the server keeps are cut rather than refused, so the PC is still counted.
    const QString name = settings.value(u"client/name"_s).toStringList().join(u',').trimmed();
    config.m_clientName = (name.isEmpty() ? QSysInfo::machineHostName() : name).left(64);
    return config;
}

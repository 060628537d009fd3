#include "widgets/Skin.h"

#include "platform/FileSystem.h"

#include <QApplication>
#include <QFile>
#include <QStringDecoder>

QString Skin::readStyleSheet(const QString &path)
{
    const QByteArray bytes = FileSystem::readRegularFile(path, MaxBytes).value_or(QByteArray());
    if (bytes.size() > MaxBytes || bytes.contains('\0'))
        return QString();
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return QString();
    // A style sheet's rules are blocks; text without balanced braces is not one.
    const qsizetype open = text.count(u'{');
    if (open == 0 || open != text.count(u'}'))
        return QString();
    return text;
}

bool Skin::apply(const QString &path)
{
    const QString styleSheet = readStyleSheet(path);
    if (styleSheet.isEmpty())
        return false;
    qApp->setStyleSheet(styleSheet);
    return true;
}

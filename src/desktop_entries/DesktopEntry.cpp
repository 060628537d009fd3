#include "desktop_entries/DesktopEntry.h"

#include "platform/FileSystem.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace {
// Real entries are a few kilobytes; anything far larger is not one.
constexpr qint64 MaxEntrySize = 1 << 20;
} // namespace

DesktopEntry DesktopEntry::read(const QString &path)
{
    // A FIFO or a device planted under an entry's name is never opened, so the scan never blocks.
    const std::optional<QByteArray> content = FileSystem::readRegularFile(path, MaxEntrySize);
    if (!content) {
        DesktopEntry entry;
        entry.m_path = path;
        entry.m_error = u"无法读取文件"_s;
        return entry;
    }
    return parse(*content, path);
}

DesktopEntry DesktopEntry::parse(const QByteArray &content, const QString &path)
{
    DesktopEntry entry;
    entry.m_path = path;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(content);
    if (content.size() > MaxEntrySize || decoder.hasError() || content.contains('\0')) {
        entry.m_error = u"不是文本格式的桌面项文件"_s;
        return entry;
    }
    bool inMainGroup = false;
    bool sawMainGroup = false;
    for (const QString &rawLine : text.split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            // Only the first group may be the main one; later duplicates are ignored too.
            inMainGroup = !sawMainGroup && line == u"[Desktop Entry]"_s;
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMainGroup || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!entry.m_values.contains(key))
            entry.m_values.insert(key, line.mid(equals + 1).trimmed());
    }
    if (!sawMainGroup)
        entry.m_error = u"缺少 [Desktop Entry] 组"_s;
    return entry;
}

QString DesktopEntry::unescape(const QString &raw)
{
    QString result;
    result.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != u'\\' || i + 1 >= raw.size()) {
            result += c;
            continue;
        }
        const QChar next = raw.at(++i);
        switch (next.unicode()) {
        case 's':
            result += u' ';
            break;
        case 'n':
            result += u'\n';
            break;
        case 't':
            result += u'\t';
            break;
        case 'r':
            result += u'\r';
            break;
        case '\\':
            result += u'\\';
            break;
        default:
            result += c;
            result += next;
            break;
        }
    }
    return result;
}

QString DesktopEntry::value(const QString &key) const
{
    const auto it = m_values.constFind(key);
    return it == m_values.cend() ? QString() : unescape(*it);
}

bool DesktopEntry::boolValue(const QString &key) const
{
    return value(key) == u"true"_s;
}

QStringList DesktopEntry::listValue(const QString &key) const
{
    // "\;" must survive the split, so it is handled before the general escapes.
    const QString raw = m_values.value(key);
    QStringList items;
    QString item;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw.at(i) == u'\\' && i + 1 < raw.size() && raw.at(i + 1) == u';') {
            item += u';';
            ++i;
        } else if (raw.at(i) == u';') {
            items.append(unescape(item));
            item.clear();
        } else {
            item += raw.at(i);
        }
    }
    if (!item.isEmpty())
        items.append(unescape(item));
    items.removeAll(QString());
    return items;
}

QString DesktopEntry::chineseName() const
{
    for (const QString &key : {u"Name[zh_CN]"_s, u"Name[zh]"_s, u"Name"_s}) {
        const QString name = value(key);
        if (!name.isEmpty())
            return name;
    }
    return {};
}

#include "cafe/CsvCell.h"

using namespace Qt::StringLiterals;

QString CsvCell::quoted(const QString &text)
{
    QString cell = text;
    if (!cell.isEmpty()) {
        const QChar first = cell.front();
        if (first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' || first == u'\r')
            cell.prepend(u'\'');
    }
    if (cell.contains(u',') || cell.contains(u'"') || cell.contains(u'\r') || cell.contains(u'\n'))
        return u'"' + cell.replace(u"\""_s, u"\"\""_s) + u'"';
    return cell;
}

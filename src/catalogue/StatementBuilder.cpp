#include "catalogue/StatementBuilder.h"

#include "catalogue/CatalogueConnection.h"
#include "catalogue/CatalogueError.h"

#include <QRegularExpression>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

QString StatementBuilder::quoted(const QString &name)
{
    QString result = name;
    result.replace(u'"', u"\"\""_s);
    return u'"' + result + u'"';
}

QString StatementBuilder::text(const char *bytes, qsizetype size, bool isNull)
{
    if (isNull)
        return QString();
    if (size == 0)
        return QString(u""_s);
    return QString::fromUtf8(bytes, size);
}

int StatementBuilder::columnOf(const QStringList &columns, const QString &name)
{
    const qsizetype exact = columns.indexOf(name);
    if (exact >= 0)
        return int(exact);
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    throw CatalogueError(SQLITE_ERROR, u"找不到字段: "_s + name);
}

StatementBuilder::Keyed StatementBuilder::keyedSelect(const QString &source, const CatalogueConnection &connection)
{
    static const QRegularExpression form(u"^\\s*select\\s+\\*\\s+from\\s+(\\w+)(.*)$"_s,
                                         QRegularExpression::CaseInsensitiveOption
                                             | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = form.match(source);
    if (!match.hasMatch())
        throw CatalogueError(SQLITE_ERROR, u"不支持的查询语句: "_s + source);
    CatalogueBackend &backend = connection.backend();
    // The key of each selected row is what edits find their row again by; on the file, a user
    // column named like the row number must not stand in for it.
    const QString rowKey = backend.rowKeyName(match.captured(1));
    return {backend.keyedSelect(rowKey, match.captured(1), match.captured(2)), match.captured(1), rowKey};
}

QString StatementBuilder::table(const QString &name) const
{
    return quoted(m_dialect.foldsNames ? name.toLower() : name);
}

QString StatementBuilder::key(const QString &name) const
{
    return m_dialect.foldsNames ? quoted(name.toLower()) : name;
}

QString StatementBuilder::parameter(qsizetype number) const
{
    return m_dialect.numbersParameters ? u"$%1"_s.arg(number) : u"?"_s;
}

QString StatementBuilder::insert(const QString &table, const QString &key, const Values &values) const
{
    QStringList names;
    QStringList marks;
    for (const auto &[column, value] : values) {
        names.append(quoted(column));
        marks.append(parameter(marks.size() + 1));
    }
    const QString returning = m_dialect.returningKey.isEmpty() ? QString() : m_dialect.returningKey.arg(this->key(key));
    if (names.isEmpty())
        return u"Insert Into %1 Default Values"_s.arg(this->table(table)) + returning;
    return u"Insert Into %1 (%2) Values (%3)"_s.arg(this->table(table), names.join(u','), marks.join(u',')) + returning;
}

StatementBuilder::Update StatementBuilder::update(const QString &table, const QString &key, const Values &values,
                                                  const Values &expected) const
{
    qsizetype count = 0;
    QStringList assignments;
    for (const auto &[column, value] : values)
        assignments.append(quoted(column) + u'=' + parameter(++count));
    QStringList conditions{this->key(key) + u'=' + parameter(++count)};
    Values compared;
    for (const auto &[column, value] : expected) {
        // A column is compared as the text it was read as; one whose bytes were no valid text cannot be.
        if (m_dialect.skipsLossyText && value.contains(QChar::ReplacementCharacter))
            continue;
        conditions.append(m_dialect.sameText.arg(quoted(column), parameter(++count)));
        compared.append({column, value});
    }
    return {u"Update %1 Set %2 Where %3"_s.arg(this->table(table), assignments.join(u','), conditions.join(u" And "_s)),
            compared};
}

QString StatementBuilder::selectRow(const QString &table, const QString &key) const
{
    return u"Select * From %1 Where %2="_s.arg(this->table(table), this->key(key)) + parameter(1);
}

#pragma once

#include "catalogue/CatalogueBackend.h"

#include <QString>
#include <QStringList>

class CatalogueConnection;

// The cursor's edits as statements, in the dialect of the store that runs them, and the names and
// texts both stores handle alike.
class StatementBuilder
{
public:
    struct Dialect
    {
        // Parameters are numbered ("$1") rather than each a "?".
        bool numbersParameters = false;
        // The store folds unquoted names to lower case: tables and keys are quoted folded.
        // Otherwise the key is used as the store named it.
        bool foldsNames = false;
        // A column (%1) compared as text with a parameter (%2), NULL matching NULL.
        QString sameText;
        // Expected texts whose bytes were no valid UTF-8 cannot be compared and are left out.
        bool skipsLossyText = false;
        // Ends an insert so that it answers the new row's key (%1); empty when the store tells it otherwise.
        QString returningKey;
    };
    using Values = CatalogueBackend::Values;

    explicit StatementBuilder(const Dialect &dialect)
        : m_dialect(dialect)
    {
    }

    // A name in double quotes, quotes inside doubled.
    static QString quoted(const QString &name);
    // The text of a value the store gave as bytes: a NULL stays null, no bytes are an empty text.
    static QString text(const char *bytes, qsizetype size, bool isNull);
    // A column's place by name: the same name first, else one differing in case only; throws when none.
    static int columnOf(const QStringList &columns, const QString &name);

    struct Keyed
    {
        QString sql;
        QString table;
        // Empty when the table has none to trust.
        QString rowKey;
    };
    // The catalogue's query form "Select * From <table>[ rest]" as the store runs it for a walk over
    // the rows: each row's key first, the rows in the order they were added. Throws for any other form.
    static Keyed keyedSelect(const QString &source, const CatalogueConnection &connection);

    // One parameter per value, in order.
    QString insert(const QString &table, const QString &key, const Values &values) const;
    struct Update
    {
        QString sql;
        // Its parameters are the values, then the row's key, then these.
        Values compared;
    };
    // Writes values into the row only while every expected column still holds its text.
    Update update(const QString &table, const QString &key, const Values &values, const Values &expected) const;
    // Every column of the row whose key is the one parameter.
    QString selectRow(const QString &table, const QString &key) const;

private:
    QString table(const QString &name) const;
    QString key(const QString &name) const;
    QString parameter(qsizetype number) const;

    const Dialect &m_dialect;
};

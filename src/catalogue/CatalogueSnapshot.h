#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The rows a query selected, each with the row number that finds it again for an edit.
struct CatalogueRow
{
    qint64 rowid = 0;
    QList<QString> values;
};

struct CatalogueSnapshot
{
    QStringList columns;
    QList<CatalogueRow> rows;
};

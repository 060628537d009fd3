#include "BothStores.h"

#include "catalogue/Catalogue.h"

void BothStores::addRows()
{
    addColumn();
    fileRow();
    serverRow();
}

void BothStores::addColumn()
{
    QTest::addColumn<bool>(Column);
}

QTestData &BothStores::fileRow()
{
    return QTest::newRow("on file") << false;
}

QTestData &BothStores::serverRow()
{
    return QTest::newRow("on server") << true;
}

BothStores::BothStores()
{
    const int type = qMetaTypeId<bool>();
    const void *onServer = QTest::currentDataTag() ? QTest::qData(Column, type) : QTest::qGlobalData(Column, type);
    if (*static_cast<const bool *>(onServer))
        m_server.emplace();
}

CatalogueFixture &BothStores::open(const QStringList &categories, const QList<GameRow> &games)
{
    CatalogueFixture &fixture = m_fixture.emplace(server(), categories, games);
    // A row run on the other store would pass for both.
    if (Catalogue::CatalogueConnectionObject().isServer() != onServer())
        QTest::qFail("the catalogue is not on the row's store", __FILE__, __LINE__);
    return fixture;
}

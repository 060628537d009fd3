#include "catalogue/Catalogue.h"

#include "catalogue/CatalogueIndex.h"
#include "catalogue/CatalogueStatements.h"

#include <QCoreApplication>
#include <QDir>

using namespace Qt::StringLiterals;

namespace Catalogue {

namespace {
QString s_programDirectory;
std::shared_ptr<const CatalogueIndex> s_gameIndex;
}

CatalogueConnection &CatalogueConnectionObject()
{
    static CatalogueConnection connection;
    return connection;
}

CatalogueRecordset &CatalogueRecordsetObject()
{
    static CatalogueRecordset recordset;
    return recordset;
}

QString &CatalogueStatement()
{
    static QString statement;
    return statement;
}

QString ProgramDirectory()
{
    if (!s_programDirectory.isEmpty())
        return s_programDirectory;
    return QCoreApplication::applicationDirPath();
}

void setProgramDirectory(const QString &directory)
{
    s_programDirectory = directory;
}

QString DatabasePath()
{
    return ProgramDirectory() + u'/' + QString::fromUtf16(FileName);
}

void OpenCatalogue()
{
    CatalogueConnectionObject().Open(DatabasePath(), QString::fromUtf16(Password));
}

void CheckCatalogue()
{
    CatalogueConnectionObject().checkPages();
}

void CloseCatalogue() noexcept
{
    CatalogueRecordsetObject().Close();
    CatalogueConnectionObject().Close();
    s_gameIndex.reset();
}

CatalogueRecordset &OpenQuery(const QString &statement)
{
    CatalogueStatement() = statement;
    CatalogueRecordset &recordset = CatalogueRecordsetObject();
    recordset.Open(CatalogueStatement(), CatalogueConnectionObject(), CatalogueRecordset::adOpenKeyset,
                   CatalogueRecordset::adLockPessimistic, CatalogueRecordset::adCmdUnspecified);
    return recordset;
}

std::shared_ptr<const CatalogueIndex> GameIndex()
{
    CatalogueStatement() = CatalogueStatements::selectGameList();
    CatalogueConnection &connection = CatalogueConnectionObject();
    if (s_gameIndex && s_gameIndex->isCurrent(connection))
        return s_gameIndex;
    // Let go of the old rows before reading the new ones.
    s_gameIndex.reset();
    std::shared_ptr<const CatalogueIndex> index = CatalogueIndex::read(connection, CatalogueStatement());
    if (index->isKeepable())
        s_gameIndex = index;
    return index;
}

void ExecuteStatement(const QString &statement)
{
    CatalogueStatement() = statement;
    CatalogueConnectionObject().Execute(CatalogueStatement());
}

} // namespace Catalogue

#include "catalogue/Catalogue.h"

#include <QCoreApplication>
#include <QDir>

using namespace Qt::StringLiterals;

namespace Catalogue {

namespace {
QString s_programDirectory;
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
}

CatalogueRecordset &OpenQuery(const QString &statement)
{
    CatalogueStatement() = statement;
    CatalogueRecordset &recordset = CatalogueRecordsetObject();
    recordset.Open(CatalogueStatement(), CatalogueConnectionObject(), CatalogueRecordset::adOpenKeyset,
                   CatalogueRecordset::adLockPessimistic, CatalogueRecordset::adCmdUnspecified);
    return recordset;
}

void ExecuteStatement(const QString &statement)
{
    CatalogueStatement() = statement;
    CatalogueConnectionObject().Execute(CatalogueStatement());
}

} // namespace Catalogue

#include "catalogue/Catalogue.h"

#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueIndex.h"
#include "catalogue/CatalogueStatements.h"

#include <QCoreApplication>
#include <QDir>
#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace Catalogue {

namespace {
QString s_programDirectory;
std::shared_ptr<const CatalogueIndex> s_gameIndex;

// One reader at a time, apart from the icons' and the initials' workers.
QThreadPool &backgroundPool()
{
    static QThreadPool pool;
    pool.setMaxThreadCount(1);
    return pool;
}

constexpr int BusyRetryMs = 50;

using Result = std::shared_ptr<const CatalogueIndex>;

// Keeps the worker's rows if the file has not changed since; waits while another thread has the connection.
void settleRead(QFutureWatcher<Result> *watcher, const CatalogueConnection::ChangeStamp &stamp,
                const std::function<void(bool)> &done)
{
    if (!CatalogueConnectionObject().ownedByThisThread()) {
        QTimer::singleShot(BusyRetryMs, watcher, [watcher, stamp, done] { settleRead(watcher, stamp, done); });
        return;
    }
    watcher->deleteLater();
    const Result index = watcher->future().resultCount() > 0 ? watcher->result() : nullptr;
    CatalogueConnection &connection = CatalogueConnectionObject();
    const bool current = index && index->isKeepable() && connection.isOpen() && !connection.inTransaction()
        && connection.changeStamp() == stamp;
    if (current)
        s_gameIndex = index;
    done(current);
}
} // namespace

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

std::shared_ptr<const CatalogueIndex> CurrentGameIndex()
{
    if (s_gameIndex && s_gameIndex->isCurrent(CatalogueConnectionObject()))
        return s_gameIndex;
    return nullptr;
}

void ReadGameIndexInBackground(QObject *context, std::function<void(bool)> done)
{
    CatalogueConnection &connection = CatalogueConnectionObject();
    const QString path = connection.filePath();
    if (path.isEmpty() || connection.inTransaction()) {
        QMetaObject::invokeMethod(
            context, [done] { done(false); }, Qt::QueuedConnection);
        return;
    }
    // The state the read stands for: the rows are kept only if the file still shows it afterwards.
    const CatalogueConnection::ChangeStamp stamp = connection.changeStamp();
    auto promise = std::make_shared<QPromise<Result>>();
    // Parented to the context, so that a context gone before the read ends hears nothing.
    auto *watcher = new QFutureWatcher<Result>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
                     [watcher, stamp, done] { settleRead(watcher, stamp, done); });
    watcher->setFuture(promise->future());
    backgroundPool().start([promise, path, stamp] {
        promise->start();
        try {
            CatalogueConnection own;
            own.Open(path, QString::fromUtf16(Password));
            promise->addResult(CatalogueIndex::readFor(stamp, own, CatalogueStatements::selectGameList()));
        } catch (const CatalogueError &) {
            // The caller reads on its own thread instead, and reports what fails there.
        }
        promise->finish();
    });
}

void ExecuteStatement(const QString &statement)
{
    CatalogueStatement() = statement;
    CatalogueConnectionObject().Execute(CatalogueStatement());
}

} // namespace Catalogue

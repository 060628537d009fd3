#include "catalogue/CatalogueConnection.h"

#include "catalogue/CatalogueError.h"
#include "catalogue/SqliteBackend.h"

#include <sqlite3.h>

#include <atomic>

using namespace Qt::StringLiterals;

static_assert(CatalogueConnection::BusyTimeoutMs == SqliteBackend::BusyTimeoutMs);

namespace {
// Connections are also opened on worker threads, for reads apart from the window's.
std::atomic<qint64> s_openings = 0;
} // namespace

CatalogueConnection::CatalogueConnection() = default;

CatalogueConnection::~CatalogueConnection()
{
    Close();
}

void CatalogueConnection::checkOwner() const
{
    if (!ownedByThisThread())
        throw CatalogueError(CatalogueError::WrongThread, u"数据库连接属于另一个线程"_s);
}

void CatalogueConnection::release()
{
    checkOwner();
    m_owner = std::thread::id();
}

void CatalogueConnection::take()
{
    std::thread::id none;
    if (!m_owner.compare_exchange_strong(none, std::this_thread::get_id()) && !ownedByThisThread())
        throw CatalogueError(CatalogueError::WrongThread, u"数据库连接属于另一个线程"_s);
}

bool CatalogueConnection::isOpen() const
{
    checkOwner();
    return m_backend != nullptr;
}

bool CatalogueConnection::isServer() const
{
    checkOwner();
    return m_server;
}

void CatalogueConnection::Open(const QString &path, const QString &password)
{
    checkOwner();
    Close();
    m_backend = std::make_unique<SqliteBackend>(path, password);
    m_opened = ++s_openings;
}

void CatalogueConnection::OpenServer(std::unique_ptr<CatalogueBackend> backend)
{
    checkOwner();
    Close();
    m_backend = std::move(backend);
    m_server = true;
    m_opened = ++s_openings;
}

CatalogueConnection::ChangeStamp CatalogueConnection::changeStamp()
{
    checkOwner();
    if (!m_backend)
        return {};
    return {m_opened, m_backend->dataVersion(), m_backend->totalChanges()};
}

QString CatalogueConnection::filePath() const
{
    checkOwner();
    return m_backend ? m_backend->filePath() : QString();
}

void CatalogueConnection::checkPages()
{
    backend().checkPages();
}

void CatalogueConnection::Close() noexcept
{
    // Another thread's connection is left as it is.
    if (!ownedByThisThread())
        return;
    m_backend.reset();
    m_server = false;
}

bool CatalogueConnection::isReadOnly() const
{
    checkOwner();
    return m_backend && m_backend->isReadOnly();
}

CatalogueBackend &CatalogueConnection::backend() const
{
    checkOwner();
    if (!m_backend)
        throwLastError();
    return *m_backend;
}

sqlite3 *CatalogueConnection::handle() const
{
    checkOwner();
    const auto *file = dynamic_cast<const SqliteBackend *>(m_backend.get());
    return file ? file->handle() : nullptr;
}

void CatalogueConnection::throwLastError() const
{
    checkOwner();
    if (!m_backend)
        throw CatalogueError(SQLITE_MISUSE, u"数据库未连接"_s);
    m_backend->throwLastError();
    Q_UNREACHABLE();
}

void CatalogueConnection::Execute(const QString &statement)
{
    backend().execute(statement);
}

void CatalogueConnection::BeginTrans()
{
    backend().begin();
}

void CatalogueConnection::CommitTrans()
{
    backend().commit();
}

void CatalogueConnection::RollbackTrans() noexcept
{
    if (ownedByThisThread() && m_backend)
        m_backend->rollback();
}

bool CatalogueConnection::inTransaction() const
{
    checkOwner();
    return m_backend && m_backend->inTransaction();
}

void CatalogueConnection::Create(const QString &path, const QString &password)
{
    SqliteBackend::create(path, password);
}

void CatalogueConnection::forgetResults()
{
    checkOwner();
    if (m_backend)
        m_backend->forgetResults();
}

CatalogueConnection::SharedSnapshot CatalogueConnection::query(const QString &sql)
{
    return backend().query(sql);
}

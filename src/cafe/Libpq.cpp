#include "cafe/Libpq.h"

using namespace Qt::StringLiterals;

namespace {

#ifdef Q_OS_WIN
constexpr auto FileName = "libpq.dll"_L1;
#else
constexpr auto FileName = "libpq.so.5"_L1;
#endif

QString &fileNameForTesting()
{
    static QString name;
    return name;
}

} // namespace

Libpq::Libpq()
{
    const QString name = fileNameForTesting().isEmpty() ? QString(FileName) : fileNameForTesting();
    m_library.setFileName(name);
    // Threads still inside libpq at exit must not find it gone.
    m_library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!m_library.load())
        m_error = u"无法加载 %1：%2"_s.arg(name, m_library.errorString()).toUtf8();
}

Libpq &Libpq::instance()
{
    static Libpq libpq;
    return libpq;
}

QFunctionPointer Libpq::resolve(const char *name)
{
    Libpq &libpq = instance();
    return libpq.m_error.isEmpty() ? libpq.m_library.resolve(name) : nullptr;
}

QByteArray Libpq::loadError()
{
    return instance().m_error;
}

void Libpq::setFileNameForTesting(const QString &fileName)
{
    fileNameForTesting() = fileName;
}

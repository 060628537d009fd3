#include "ChildProcess.h"

#include "catalogue/CatalogueError.h"

#include <QFile>

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr uid_t Nobody = 65534;
} // namespace

ChildResult runInChild(const std::function<QByteArray()> &work)
{
    int fds[2];
    if (pipe(fds) != 0)
        qFatal("pipe failed");
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        qFatal("fork failed");
    if (pid == 0) {
        ::close(fds[0]);
        QByteArray report;
        try {
            report = work();
        } catch (const CatalogueError &e) {
            report = "uncaught CatalogueError " + QByteArray::number(e.number()) + ' ' + e.what();
        } catch (...) {
            report = "uncaught exception";
        }
        const ssize_t written = ::write(fds[1], report.constData(), size_t(report.size()));
        _exit(written == report.size() ? 0 : 3);
    }
    ::close(fds[1]);
    ChildResult result;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0)
        result.output.append(buffer, got);
    ::close(fds[0]);
    waitpid(pid, &result.status, 0);
    return result;
}

QByteArray dropRootInChild(const QStringList &handOver)
{
    if (::geteuid() != 0)
        return {};
    for (const QString &path : handOver) {
        if (::chown(QFile::encodeName(path).constData(), Nobody, Nobody) != 0)
            return "cannot hand a file to the unprivileged user nobody";
    }
    if (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
        return "cannot become the unprivileged user nobody";
    return {};
}

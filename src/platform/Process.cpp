#include "platform/Process.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Process {

QString programDirectory()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || size_t(length) >= sizeof path)
        return QString();
    return QFileInfo(QFile::decodeName(QByteArray(path, qsizetype(length)))).absolutePath();
}

unsigned effectiveUserId()
{
    return ::geteuid();
}

double millisecondsSinceBoot()
{
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

long clockTicksPerSecond()
{
    return ::sysconf(_SC_CLK_TCK);
}

qint64 threadCpuNanoseconds()
{
    timespec used{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    return qint64(used.tv_sec) * 1000000000 + used.tv_nsec;
}

long peakResidentKb()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long start(char *const argv[])
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(argv[0], argv);
        ::_exit(127);
    }
    return child;
}

void terminate(long id)
{
    if (id <= 0)
        return; // a signal to 0 or -1 would reach other processes than the one started
    ::kill(static_cast<pid_t>(id), SIGTERM);
    int status = 0;
    while (::waitpid(static_cast<pid_t>(id), &status, 0) < 0 && errno == EINTR) { }
}

} // namespace Process

bool Process::isGone(long id)
{
    return id > 0 && id <= INT_MAX && ::kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH;
}

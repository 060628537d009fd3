#include "platform/StandardStreams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace StandardStreams {

int takeOutput()
{
    const int output = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    return output;
}

void closeOutput(int output)
{
    if (output >= 0)
        ::close(output);
}

void writeAll(int output, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (output >= 0 && written < bytes.size()) {
        const ssize_t n = ::write(output, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        written += n;
    }
}

int watchableInput()
{
    ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    return STDIN_FILENO;
}

bool readAvailable(QByteArray &pending)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (n <= 0)
            return false;
        pending.append(buffer, n);
    }
}

} // namespace StandardStreams

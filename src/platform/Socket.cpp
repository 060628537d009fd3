#include "platform/Socket.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <poll.h>

namespace Socket {

bool waitReadable(int socket, const QDeadlineTimer &deadline)
{
    pollfd watched{socket, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&watched, 1, int(deadline.remainingTime()));
        if (ready > 0)
            return true;
        if (ready == 0)
            return false;
        if (errno != EINTR)
            return true; // let libpq read and report what went wrong
    }
}

bool isReady(int socket, bool read, bool write)
{
    pollfd watched{socket, short((read ? POLLIN : 0) | (write ? POLLOUT : 0)), 0};
    int ready = 0;
    do {
        ready = ::poll(&watched, 1, 0);
    } while (ready < 0 && errno == EINTR);
    return ready != 0;
}

} // namespace Socket

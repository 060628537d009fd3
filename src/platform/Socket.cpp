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

} // namespace Socket

#include "web_helper/CommandChannel.h"

#include <QJsonDocument>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

CommandChannel::CommandChannel(QObject *parent)
    : QObject(parent)
    , m_output(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3))
{
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CommandChannel::readInput);
}

CommandChannel::~CommandChannel()
{
    if (m_output >= 0)
        ::close(m_output);
}

void CommandChannel::send(const QJsonObject &message)
{
    const QByteArray line = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n';
    qsizetype written = 0;
    while (m_output >= 0 && written < line.size()) {
        const ssize_t n = ::write(m_output, line.constData() + written, size_t(line.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        written += n;
    }
}

void CommandChannel::readInput()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n <= 0) {
            m_notifier->setEnabled(false);
            Q_EMIT closed();
            return;
        }
        m_pending.append(buffer, n);
    }
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QJsonDocument line = QJsonDocument::fromJson(m_pending.left(end));
        m_pending.remove(0, end + 1);
        if (line.isObject())
            Q_EMIT received(line.object());
    }
}

#include "web_helper/CommandChannel.h"

#include "platform/StandardStreams.h"

#include <QJsonDocument>
#include <QSocketNotifier>

CommandChannel::CommandChannel(QObject *parent)
    : QObject(parent)
    , m_output(StandardStreams::takeOutput())
{
    m_notifier = new QSocketNotifier(StandardStreams::watchableInput(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CommandChannel::readInput);
}

CommandChannel::~CommandChannel()
{
    StandardStreams::closeOutput(m_output);
}

void CommandChannel::send(const QJsonObject &message)
{
    StandardStreams::writeAll(m_output, QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
}

void CommandChannel::readInput()
{
    if (!StandardStreams::readAvailable(m_pending)) {
        m_notifier->setEnabled(false);
        Q_EMIT closed();
        return;
    }
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QJsonDocument line = QJsonDocument::fromJson(m_pending.left(end));
        m_pending.remove(0, end + 1);
        if (line.isObject())
            Q_EMIT received(line.object());
    }
}

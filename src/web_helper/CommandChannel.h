#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>

class QSocketNotifier;

// The helper's end of the line to the menu: one JSON object a line in on standard input, out on
// the standard output it was started with. Anything else that prints to standard output goes to
// standard error instead, so it cannot break a line. The end of input means the menu is gone.
class CommandChannel : public QObject
{
    Q_OBJECT

public:
    explicit CommandChannel(QObject *parent = nullptr);
    ~CommandChannel() override;

    void send(const QJsonObject &message);

Q_SIGNALS:
    void received(const QJsonObject &message);
    void closed();

private:
    void readInput();

    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_pending;
    int m_output = -1;
};

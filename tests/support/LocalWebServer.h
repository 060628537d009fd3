#pragma once

#include <QDir>
#include <QDirIterator>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

// A tiny HTTP server on 127.0.0.1 that stands in for the search engine and the web.
class LocalWebServer : public QObject
{
public:
    struct Reply
    {
        QByteArray type;
        QByteArray body;
        QByteArray extraHeaders;
    };

    LocalWebServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] { acceptAll(); });
    }

    bool start() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    void serve(const QByteArray &path, const Reply &reply) { m_replies.insert(path, reply); }
    QList<QByteArray> targets() const { return m_targets; }
    bool received(const QByteArray &path) const
    {
        for (const QByteArray &target : m_targets) {
            if (target == path || target.startsWith(path + '?'))
                return true;
        }
        return false;
    }

private:
    void acceptAll()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void answer(QTcpSocket *socket)
    {
        QByteArray &pending = m_pending[socket];
        pending += socket->readAll();
        if (!pending.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> requestLine = pending.left(pending.indexOf("\r\n")).split(' ');
        m_pending.remove(socket);
        const QByteArray target = requestLine.value(1);
        m_targets.append(target);
        const QByteArray path = target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
        const auto found = m_replies.constFind(path);
        QByteArray response;
        if (found == m_replies.constEnd()) {
            response = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        } else {
            response = "HTTP/1.1 200 OK\r\nContent-Type: " + found->type
                + "\r\nContent-Length: " + QByteArray::number(found->body.size()) + "\r\n" + found->extraHeaders
                + "Connection: close\r\n\r\n" + found->body;
        }
        socket->write(response);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QByteArray, Reply> m_replies;
    QHash<QTcpSocket *, QByteArray> m_pending;
    QList<QByteArray> m_targets;
};

inline LocalWebServer::Reply html(const QByteArray &body)
{
    return {"text/html; charset=utf-8",
            "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>",
            {}};
}

// Every file below a folder, hidden ones included: what a web session left on disk.
inline QStringList filesUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    return files;
}

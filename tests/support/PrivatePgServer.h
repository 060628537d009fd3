#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QString>
#include <QtGlobal>

// A server of the test's own (scripts/pg-test-server.sh in a folder of its own), which it may stop,
// start, freeze and thaw without disturbing other tests. Gone with the object.
class PrivatePgServer
{
public:
    PrivatePgServer()
        : m_dir(QStringLiteral("/tmp/jyt-pg-private-%1").arg(QRandomGenerator::global()->generate(), 0, 16))
    {
        // A loaded machine can miss the script's start-up limits; a second try starts afresh.
        for (int attempt = 0; attempt < 2 && m_adminUri.isEmpty(); ++attempt) {
            if (run(QStringLiteral("start")))
                m_adminUri = QString::fromUtf8(m_output).trimmed().split(u'\n').last();
            else
                qWarning("private PostgreSQL did not start: %s", m_errors.constData());
            if (m_adminUri.isEmpty())
                run(QStringLiteral("stop"));
        }
    }
    ~PrivatePgServer() { run(QStringLiteral("stop")); }
    PrivatePgServer(const PrivatePgServer &) = delete;
    PrivatePgServer &operator=(const PrivatePgServer &) = delete;

    QString adminUri() const { return m_adminUri; }
    bool run(const QString &command)
    {
        QProcess script;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("JYT_PG_DIR"), m_dir);
        script.setProcessEnvironment(environment);
        script.start(QStringLiteral("bash"), {QStringLiteral(JYT_SOURCE_DIR "/scripts/pg-test-server.sh"), command});
        const bool finished = script.waitForFinished(60000);
        m_output = script.readAllStandardOutput();
        m_errors = script.readAllStandardError();
        return finished && script.exitCode() == 0;
    }

private:
    QString m_dir;
    QString m_adminUri;
    QByteArray m_output;
    QByteArray m_errors;
};

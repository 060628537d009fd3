#pragma once

#include "platform/Shell.h"

#include <QList>

// A shell for tests: records every request and answers from a script instead of starting
// anything. Install it with Shell::setInstance.
class RecordingShell : public Shell
{
public:
    enum class Verb { Open, OpenFolder };

    struct Call
    {
        Verb verb = Verb::Open;
        QString file;
        QString argumentText;
        QStringList arguments; // as the desktop shell would pass them
        QString workingDir;
    };

    LaunchResult open(const QString &file, const QString &arguments, const QString &workingDir) override;
    LaunchResult openFolder(const QString &dir) override;

    // Queued; without one, a request succeeds.
    void setNextResult(const LaunchResult &result);
    QList<Call> calls() const;
    QList<Call> takeCalls();

private:
    LaunchResult nextResult();

    QList<Call> m_calls;
    QList<LaunchResult> m_results;
};

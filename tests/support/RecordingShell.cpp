#include "RecordingShell.h"

LaunchResult RecordingShell::open(const QString &file, const QString &arguments, const QString &workingDir)
{
    m_calls.append({Verb::Open, file, arguments, launchArguments(arguments), workingDir});
    return nextResult();
}

LaunchResult RecordingShell::openFolder(const QString &dir)
{
    m_calls.append({Verb::OpenFolder, dir, QString(), QStringList(), QString()});
    return nextResult();
}

void RecordingShell::setNextResult(const LaunchResult &result)
{
    m_results.append(result);
}

QList<RecordingShell::Call> RecordingShell::calls() const
{
    return m_calls;
}

QList<RecordingShell::Call> RecordingShell::takeCalls()
{
    QList<Call> result;
    result.swap(m_calls);
    return result;
}

LaunchResult RecordingShell::nextResult()
{
    if (m_results.isEmpty())
        return {true, {}};
    return m_results.takeFirst();
}

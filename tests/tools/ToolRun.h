#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// The operator tool run as an operator runs it; JYT_CATALOGUE_TOOL names the program.
struct Outcome
{
    int exitCode = -1; // -1 when it did not end by itself
    QString output;
    QString errors;
};

inline Outcome runTool(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    process.start(QStringLiteral(JYT_CATALOGUE_TOOL), arguments);
    process.write(input);
    process.closeWriteChannel();
    Outcome outcome;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return outcome;
    outcome.exitCode = process.exitCode();
    outcome.output = QString::fromUtf8(process.readAllStandardOutput());
    outcome.errors = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

#pragma once

#include <QByteArray>
#include <QStringList>

#include <functional>

// A forked child: what it wrote to the pipe and how it ended.
struct ChildResult
{
    QByteArray output;
    int status = 0;
};

// Runs work in a forked child that reports through a pipe; the child never returns into the test.
ChildResult runInChild(const std::function<QByteArray()> &work);

// In a child, as root: hands the paths to the unprivileged user nobody and becomes that user, since
// root reads, writes and runs files whatever their permissions say. Nothing when not root; the
// reason when it cannot, to be reported as "skip: <reason>".
QByteArray dropRootInChild(const QStringList &handOver = {});

#pragma once

#include <QString>

// This process and the ones it starts, as the operating system sees them.
namespace Process {

// The folder of this process's program file, known before the application object is; empty when unknown.
QString programDirectory();
// The user the process acts as; 0 is the administrator.
unsigned effectiveUserId();
// The clock the kernel's process start times count from, in ms.
double millisecondsSinceBoot();
// Clock ticks per second, the unit of the kernel's process times.
long clockTicksPerSecond();
// The CPU time the calling thread has used so far, in ns: work timed on a busy machine, without the waits.
qint64 threadCpuNanoseconds();
// The most memory this process has held resident so far, in KB.
long peakResidentKb();
// Starts argv[0] (looked up in PATH) with argv as its arguments; its process id, or -1.
long start(char *const argv[]);
// Asks a started process to end and waits until it has.
void terminate(long id);
// Whether no process of this machine has the id any more (false when that cannot be told).
bool isGone(long id);

} // namespace Process

#pragma once

#include <QByteArray>

// A program's standard input and output used as a line to the program that started it.
namespace StandardStreams {

// Keeps the standard output it was started with for the caller alone, and sends everything
// else printed there to standard error instead. The kept descriptor, or -1.
int takeOutput();
void closeOutput(int output);
// Writes all of bytes to the kept output, going on after interruptions; stops at an error.
void writeAll(int output, const QByteArray &bytes);

// Makes reading standard input return at once when nothing waits, so it can be watched.
int watchableInput();
// Appends whatever waits on standard input to pending; false when the input has ended or failed.
bool readAvailable(QByteArray &pending);

} // namespace StandardStreams

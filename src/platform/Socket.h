#pragma once

class QDeadlineTimer;

// Waiting on a network connection's socket that a library opened.
namespace Socket {

// Waits for the socket to have something to read; false when the deadline passes first. An error
// counts as readable, so that the library reads and reports it.
bool waitReadable(int socket, const QDeadlineTimer &deadline);
// Whether the socket can be read (read) or written (write) now, without waiting; an error counts as ready.
bool isReady(int socket, bool read, bool write);

} // namespace Socket

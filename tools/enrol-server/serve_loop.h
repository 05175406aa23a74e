// The server's one event loop: datagrams in and answers out in batches, the
// JSON lines of a batch in one write, answers held back by --delay in a
// timer queue of the same loop.
#ifndef SEATENROL_TOOLS_ENROL_SERVER_SERVE_LOOP_H
#define SEATENROL_TOOLS_ENROL_SERVER_SERVE_LOOP_H

#include <csignal>

#include "enrol-server/enrolment_answer.h"
#include "enrol-server/output_queue.h"
#include "enrol-server/venue_table.h"

namespace seatenrol {

// The most datagrams one receive or one send call handles.
constexpr unsigned kBatchSize = 64;

// Prepares a bound UDP socket for the loop (its receive buffer, and a wait
// limit so that a stop is noticed while nothing arrives).
void PrepareServingSocket(int socketFd);

// The descriptor the loop writes its lines to: standard output, or, when
// that is a pipe, a non-blocking descriptor of its own for the same pipe,
// so a reader that stops reading never blocks the serving.
int OpenOutput();

// A writer for OutputQueue::Flush: one write(2) to fd.
OutputQueue::Writer WriterFor(int fd);

// Serves on socketFd until stop becomes nonzero. output already holds the
// lines written before serving (the listening line).
void Serve(int socketFd, int outputFd, OutputQueue& output, const VenueTable& venues,
           const ServerFaults& faults, const volatile std::sig_atomic_t& stop);

}  // namespace seatenrol

#endif

// The record a run leaves when SIGTERM, SIGINT or SIGHUP ends it. A signal
// handler can only write bytes, so the three records are prepared in
// advance (and again whenever what they say changes); the handler writes
// the one of its signal under a temporary name, renames it over the run's
// record, removes the folder's lock file and ends the process by the signal
// as it would have ended (exit status 128 + its number). A signal that was
// ignored when the program started (nohup, trap '' TERM) stays ignored.
#pragma once

#include <string>

namespace core {

// The records for each signal, replacing any prepared before.
void prepare_signal_records(const std::string& terminate, const std::string& interrupt, const std::string& hangup);

// Catches the three signals from now on: the record goes to `record_path`
// (by way of `part_path`), and `notice` is written to standard error.
// Paths and notice are kept up to 255 bytes.
void catch_stop_signals(const std::string& record_path, const std::string& part_path, const std::string& notice);

// Whether `sig` was ignored when this process started (before any handler
// of this module was installed).
bool ignored_at_start(int sig);

}  // namespace core

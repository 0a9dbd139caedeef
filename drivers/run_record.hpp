// The record of a run, "run.json" in the working directory: which program
// and build ran, on which input, how it ended and, after a normal end, its
// headline results. It is written as the run starts (a run under way) and
// as it ends, normally, stopped (through the end hook of core/stop) or by a
// signal, into a temporary file created afresh and renamed into place, so a
// reader never sees half a record and no link is followed. The keys are described in
// doc/run_json.md.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <string_view>

#include "core/complex.hpp"

namespace drivers::run_record {

inline constexpr const char* kFileName = "run.json";

// Starts the record of a run of `program`: the start time, the build, the
// digest of the deck when standard input is a file. Replaces the record of
// an earlier run by one saying this run is under way (or stops with
// kStopOutputError when it cannot), so that no record of another run ever
// stands beside this run's files; from now on every end of the run writes
// the record, and SIGTERM, SIGINT and SIGHUP end it with a record saying so
// (exit status 128 + the signal's number, stop code null).
void begin(std::string_view program);

// The deck's digest when standard input was not a file that could be read
// from its start (a pipe): that of the bytes the deck reader consumed.
void deck_read(std::string digest);

// The digest of an input file the run reads, under `key` (for example
// "porosity_sha256"); null in the record when the file cannot be read.
void input_file(std::string_view key, const std::string& path);

// A headline result, kept in the order first given (a name given again
// takes the new value); a complex value is kept as re_name and im_name.
// Results appear in the record of a normal end only.
void result(std::string_view name, double value);
void result(std::string_view name, core::zcomplex value);

// Several results at once: the complex ones first, then the real ones.
void record_results(std::initializer_list<std::pair<const char*, core::zcomplex>> moduli,
                    std::initializer_list<std::pair<const char*, double>> values);

// The record as it would be written for an end with `code` and `message`.
std::string json(int code, std::string_view message);
// The record of a run under way, written before any result file is emptied:
// exit status and stop code null.
std::string running_json();

// Writes the record; false (after a message on standard error) when it
// cannot be written.
bool write(int code, std::string_view message);

}  // namespace drivers::run_record

// What guards tensor_upscale's output folder while a run writes into it, as
// for the three upscaling programs: one run at a time (the folder's lock),
// a "run.json" that says a run is under way from before the first result
// file changes, and a record saying the run was stopped when SIGTERM,
// SIGINT or SIGHUP ends it, so a killed run never leaves the record of an
// earlier success beside half-written results.
#pragma once

#include "tensor/io.hpp"
#include "tensor/options.hpp"
#include "tensor/run_json.hpp"

namespace tensor {

// Takes the lock of `o.out_dir` (a second run stops with the lock's
// sentence and status 75), writes the record of a run under way and
// catches the stop signals. Only the rank that writes the outputs calls it.
void guard_output_folder(const Options& o, const RunRecord& r);

// Prepares again the records a stop signal writes, after `r` changed.
void refresh_signal_records(const RunRecord& r);

// The record a stop signal `sig` named `name` leaves.
std::string signal_record(const RunRecord& r, int sig, const char* name);

// What a label image of another size than the input's grid does, said
// plainly: the sample takes the image's size at the input's cell size.
std::string resized_sample_note(const Image<int32_t>& image, const std::string& path, const Sample& s);

// Removes the lock file as the run ends.
void release_output_folder();

}  // namespace tensor

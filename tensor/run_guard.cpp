#include "tensor/run_guard.hpp"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "core/replace_file.hpp"
#include "core/run_lock.hpp"
#include "core/signal_record.hpp"
#include "tensor/file_access.hpp"

namespace tensor {

std::string signal_record(const RunRecord& r, int sig, const char* name) {
  return run_json_text(r, std::to_string(128 + sig),
                       std::string("stopped by signal ") + name + " (" + std::to_string(sig) +
                           ") before the run ended: the result files beside this record are incomplete");
}

void refresh_signal_records(const RunRecord& r) {
  core::prepare_signal_records(signal_record(r, SIGTERM, "SIGTERM"), signal_record(r, SIGINT, "SIGINT"),
                               signal_record(r, SIGHUP, "SIGHUP"));
}

void guard_output_folder(const Options& o, const RunRecord& r) {
  core::lock_folder(o.out_dir, "tensor_upscale");
  refresh_signal_records(r);
  core::catch_stop_signals(o.out_dir + "/run.json", o.out_dir + "/run.json.part",
                           "tensor_upscale: stopped by a signal; run.json records it, the result files are incomplete\n");
  // The record of an earlier run goes before any result file changes.
  write_file_atomically(o.out_dir + "/run.json",
                        run_json_text(r, "null",
                                      "running: this run has not ended (process " + std::to_string(::getpid()) +
                                          "); if no such process runs any more it was killed, and the result "
                                          "files beside this record are incomplete"));
}

std::string resized_sample_note(const Image<int32_t>& image, const std::string& path, const Sample& s) {
  char size[128];
  std::snprintf(size, sizeof size, "%.6g m (%.6g m x %.6g m)", s.h, static_cast<double>(image.width) * s.h,
                static_cast<double>(image.height) * s.h);
  return "note: the label image \"" + path + "\" has " + std::to_string(image.width) + " x " +
         std::to_string(image.height) + " cells and the input's grid " + std::to_string(s.nx) + " x " +
         std::to_string(s.ny) + ": the sample is the image's, " + std::to_string(image.width) + " x " +
         std::to_string(image.height) + " cells of " + size;
}

void release_output_folder() { core::release_working_folder(); }

}  // namespace tensor

// "run.json" of tensor_upscale: which program and build ran, on which
// inputs (with their SHA-256), when, how long, how it ended, and the tensor
// per frequency. Keys in doc/tensor.md.
#pragma once

#include <string>
#include <vector>

#include "tensor/sample.hpp"
#include "tensor/tensor_row.hpp"

namespace tensor {

struct RunRecord {
  std::string start_time;              // UTC, YYYY-MM-DDThh:mm:ssZ
  double wall_start = 0;               // monotonic clock at the start, s
  std::string input;                   // the input file as given
  std::vector<std::pair<std::string, std::string>> inputs;  // file, SHA-256 ("" unreadable)
  std::string lame = "2d", tests = "tensor", solver = "own";
  long long nx = 0, ny = 0;
  double h = 0;
  double cells_per_feature = 0;  // of the sample's geometry (infinite: one cell law)
  long long unknowns = 0, factor_entries = 0;
  double flops = 0, memory_bytes = 0, analyse_seconds = 0, factorise_seconds = 0;
  std::vector<TensorRow> rows;
};

// Starts a record now.
RunRecord start_record(const std::string& input);
// The record as text for an end with `status` and `message`.
std::string run_json(const RunRecord& r, int status, const std::string& message);

}  // namespace tensor

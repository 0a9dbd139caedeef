// Reading an input file whole and replacing an output file safely.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tensor {

// The bytes of the regular file `path`, which `what` names in messages
// ("label image"). The last component is not followed when it is a link,
// and the file is opened without waiting (a FIFO would block); anything but
// a regular file, or one larger than `max_bytes`, is refused with
// std::runtime_error naming the file.
std::string read_input_file(const std::string& path, const std::string& what, int64_t max_bytes);

// The regular file `path` opened for reading as a stream, `what` naming it
// in messages ("deck"). Opened without waiting: a FIFO, a folder or a
// device is refused with std::invalid_argument naming the file and what was
// expected, never read (a FIFO would block the run, a folder read as an
// empty deck).
std::FILE* open_regular_file(const std::string& path, const std::string& what);

// Replaces `path` by `bytes`: writes a new file of a fresh name in the same
// folder (created exclusively, never through a link), syncs it and renames
// it into place. A target that is a link or not a regular file is refused;
// every failure throws std::runtime_error naming the file and the cause,
// and leaves no temporary file behind.
void write_file_atomically(const std::string& path, const std::string& bytes);

// Runs `gnuplot script` in `dir` when gnuplot is on the PATH; false when it
// is missing or fails.
bool run_gnuplot(const std::string& dir, const std::string& script);

}  // namespace tensor

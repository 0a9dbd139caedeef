// The exit status and the sentence of a run that ended with an exception:
// memory that could not be had (the engine's or the assembly's own check,
// or an allocation that failed all the same) is the out-of-memory stop,
// everything else a refused input or a failure.
#pragma once

#include <exception>
#include <string>

namespace tensor {

int failure_status(const std::exception& e);

// e.what(), except for a bare std::bad_alloc, which says nothing a user can
// act on: that one becomes a sentence about the memory and its limits.
std::string failure_message(const std::exception& e);

}  // namespace tensor

// Ending a run, for the fuzz targets: instead of ending the process,
// `core::stop` and `core::fail` throw fuzz::Stopped with the stop code and
// the message, so that one process can read many inputs and check how each
// reading ended. The readers behave exactly as in the programs up to the
// point where the run would end.
#include "fuzz/stop_throws.hpp"

#include "core/stop.hpp"

namespace core {

void stop(int code, std::string_view message, std::string_view) { throw fuzz::Stopped{code, std::string(message)}; }

void fail(int code, std::string_view message) { throw fuzz::Stopped{code, std::string(message)}; }

}  // namespace core

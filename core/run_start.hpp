// What every run does first, before it opens any file: make the standard
// descriptors safe and make running out of memory a stop with a message.
#pragma once

namespace core {

// A standard descriptor (input, output, error) that the run was started
// with closed is opened on /dev/null, so that no result file can take its
// number: the report would otherwise land in a table. Installs the
// out-of-memory stop (kStopOutOfMemory) for every failed allocation, by
// operator new or by any code that throws std::bad_alloc.
void start_run();

}  // namespace core

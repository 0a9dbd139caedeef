// Creating an output file without following links. A name in the working
// folder that is a symbolic link, a FIFO, a device, a directory or a file
// with other hard links is refused: writing through it would change a file
// elsewhere (run as root, any file of the machine) or block the run.
#pragma once

#include <string>

namespace core {

// Opens `name` for writing from its start: created when missing (mode 0644
// less the umask), emptied when it is a regular file of its own; a
// character device (/dev/null) is written as it is. Returns the
// descriptor (close-on-exec), or -1 with `why` saying what is wrong with the
// name ("is a symbolic link ...", "is not a regular file ...", or the
// system's reason).
int create_output(const std::string& name, std::string& why);

// Creates `name` afresh for a file that is renamed into place once written:
// whatever stands under the name (an old temporary file, a link) is removed
// first, then the name is created exclusively. Returns the descriptor or -1
// with `why`. Async-signal-safe when `why` is null.
int create_fresh(const char* name, std::string* why);

}  // namespace core

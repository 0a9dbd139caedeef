// One run at a time in a working folder. Two runs in one folder would write
// the same result files: tables mixing both runs, torn maps, a record of one
// run beside the tables of the other. A run takes an exclusive lock (flock)
// on the lock file before it creates or empties anything; a second run
// finds it held and stops at once, naming the process and program that hold
// it. The kernel drops the lock when the holder ends, however it ends, so a
// killed run never leaves the folder locked.
#pragma once

#include <string>
#include <string_view>

namespace core {

inline constexpr const char* kRunLockName = ".upscale_run.lock";

// Takes the lock of the working folder for `program`, or stops the run with
// kStopFolderBusy (another run holds it) or kStopOutputError (the lock file
// cannot be created: a link, not a regular file, a folder that cannot be
// written). The lock file holds "PID PROGRAM" of the holder.
void lock_working_folder(std::string_view program);

// The same for the folder `dir` (its lock file "DIR/.upscale_run.lock"),
// for a program that writes its results into a named folder; the sentence
// of a busy folder names it.
void lock_folder(const std::string& dir, std::string_view program);

// Removes the lock file while the lock is still held, so that the folder is
// left as the run found it; nothing when this process holds no lock.
// Async-signal-safe: the end of a run and the signal handlers call it.
void release_working_folder();

}  // namespace core

// The status file of a point, the deck it belongs to, and the folder lock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "core/sha256.hpp"
#include "sweep/sweep.hpp"

namespace sweep {

std::string file_sha256(const fs::path& f) { return core::sha256_of_file(f.string()).value_or(""); }

// "40\n" or "signal 9\n", then "deck_sha256 HEX\n" when known.
std::optional<Status> read_status(const fs::path& dir) {
  auto text = slurp(dir / kStatusFile);
  if (!text) return std::nullopt;
  std::istringstream in(*text);
  std::string t;
  std::getline(in, t);
  Status s;
  if (t.rfind("signal ", 0) == 0) {
    s.signal = true;
    t = t.substr(7);
  }
  auto v = parse_number(t);
  if (!v || *v != static_cast<int>(*v)) return std::nullopt;
  s.code = static_cast<int>(*v);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("deck_sha256 ", 0) == 0) s.deck_sha256 = line.substr(12);
  return s;
}

void write_status(const fs::path& dir, const Status& s) {
  std::string text = (s.signal ? "signal " : "") + std::to_string(s.code) + "\n";
  if (!s.deck_sha256.empty()) text += "deck_sha256 " + s.deck_sha256 + "\n";
  write_file_atomically(dir / kStatusFile, text);
}

bool status_matches_deck(const fs::path& dir, const Status& s, std::string& why) {
  const std::string deck = file_sha256(dir / "input.deck");
  if (deck.empty()) {
    why = "no input.deck";
    return false;
  }
  if (!s.deck_sha256.empty() && s.deck_sha256 != deck) {
    why = "the status was written by the run of another deck";
    return false;
  }
  if (auto json = slurp(dir / "run.json")) {
    auto recorded = json_member(*json, "deck_sha256");
    if (recorded && *recorded != deck) {
      why = "run.json is of the run of another deck";
      return false;
    }
    // The cell map the run read must be the one beside it.
    auto porosity = json_member(*json, "porosity_sha256");
    if (porosity && *porosity != "null" && *porosity != file_sha256(dir / "porosity.frac")) {
      why = "porosity.frac is not the file its run read (run.json gives another SHA-256): changed after the run";
      return false;
    }
    auto code = json_member(*json, "exit_status");
    if (code && !s.signal && parse_number(*code) != static_cast<double>(s.code)) {
      why = "run.json gives exit status " + *code + ", the status file " + std::to_string(s.code);
      return false;
    }
  }
  return true;
}

void lock_sweep_dir(const fs::path& dir) {
  [[maybe_unused]] static int fd = -1;  // kept open for the life of the process
  const fs::path file = dir / ".lock";
  // Never through a link, never a FIFO or device: the pid goes into it.
  int f = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (f < 0 && errno == ELOOP) throw UsageError(file.string() + " is a symbolic link; remove it");
  if (f < 0) throw UsageError("cannot open " + file.string() + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(f, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
    ::close(f);
    throw UsageError(file.string() + " is not a regular file of its own (a FIFO, a device, a hard link); remove it");
  }
  if (::flock(f, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    std::string holder = slurp(file).value_or("");
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == ' ')) holder.pop_back();
    ::close(f);
    if (e != EWOULDBLOCK) throw UsageError("cannot lock " + file.string() + ": " + std::strerror(e));
    throw UsageError(dir.string() + " is in use by another upscale_sweep" +
                     (holder.empty() ? std::string() : " (process " + visible(holder) + ")") +
                     "; one sweep at a time per folder: wait for it or choose another -o");
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(f, 0) != 0 || ::pwrite(f, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size()))
    throw UsageError("cannot write " + file.string());
  fd = f;
}

}  // namespace sweep

// Reading and writing the files of a sweep folder. A received folder may
// hold anything under a file's name: a FIFO (a read would wait forever), a
// link to a device (a read would never end), a huge file, or a link that
// leads a write out of the folder. Every file is read as the programs read
// "porosity.frac" (opened without waiting, regular files only, up to a size
// limit) and written under a temporary name created afresh, never through a
// link; point folders that are links are refused.
#include <fcntl.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "core/output_file.hpp"
#include "sweep/sweep.hpp"

namespace sweep {

std::optional<std::string> slurp(const fs::path& f) {
  const int fd = ::open(f.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::string> text;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxReadBytes) {
    text.emplace();
    char buf[65536];
    for (ssize_t got; (got = ::read(fd, buf, sizeof buf)) != 0;) {
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 || text->size() + static_cast<std::size_t>(got) > kMaxReadBytes) {
        text.reset();
        break;
      }
      text->append(buf, static_cast<std::size_t>(got));
    }
  }
  ::close(fd);
  return text;
}

std::vector<std::string> read_lines(const fs::path& f) {
  std::vector<std::string> out;
  const std::string text = slurp(f).value_or("");
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(std::move(line));
    at = end + 1;
  }
  return out;
}

void write_file_atomically(const fs::path& file, const std::string& text, bool executable) {
  fs::path tmp = file;
  tmp += ".tmp";
  std::string why;
  const int fd = core::create_fresh(tmp.c_str(), &why);
  if (fd < 0) throw UsageError("cannot create " + tmp.string() + ": " + why);
  bool ok = !executable || ::fchmod(fd, 0755) == 0;
  for (std::size_t done = 0; ok && done < text.size();) {
    const ssize_t w = ::write(fd, text.data() + done, text.size() - done);
    if (w < 0 && errno == EINTR) continue;
    ok = w > 0;
    if (ok) done += static_cast<std::size_t>(w);
  }
  const int err = errno;
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    ::unlink(tmp.c_str());
    throw UsageError("cannot write " + tmp.string() + ": " + std::strerror(err));
  }
  if (::rename(tmp.c_str(), file.c_str()) != 0) {
    const int e = errno;
    ::unlink(tmp.c_str());
    throw UsageError("cannot write " + file.string() + ": " + std::strerror(e));
  }
}

const std::set<std::string>& run_file_names();

std::string odd_entries(const fs::path& dir) {
  std::error_code ec;
  std::string found;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    const auto s = e.symlink_status(ec);
    if (ec || fs::is_regular_file(s) || !run_file_names().count(e.path().filename().string())) continue;
    found += (found.empty() ? "" : ", ") + e.path().filename().string() +
             (fs::is_symlink(s) ? " is a symbolic link" : " is not a regular file");
  }
  return found;
}

void require_real_folder(const fs::path& sweep_dir, const std::string& relative) {
  fs::path at = sweep_dir;
  for (const auto& part : fs::path(relative)) {
    at /= part;
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0) return;  // created later, as a folder
    if (S_ISLNK(st.st_mode))
      throw UsageError(at.string() + " is a symbolic link: a point folder must be a folder of its own (a sweep "
                                     "removes and writes files in it); remove the link");
    if (!S_ISDIR(st.st_mode)) throw UsageError(at.string() + " is not a folder; remove it");
  }
}

const std::set<std::string>& run_file_names() {
  // Every file a run of the programs, or the sweep for a point, writes.
  static const std::set<std::string> names = {
      "input.deck", "input.deck.tmp", "porosity.frac", "porosity.frac.tmp", "report.txt", "stderr.txt", "status",
      "status.tmp", "run.json", "run.json.part", ".upscale_run.lock", "cell_maps.vtk", "maps.gp", "maps.gp.tmp",
      "vp_anal.phiw", "vp_eq.phiw", "1000_over_q_eq.phiw", "1000_over_q_anal.phiw", "fort.18", "fort.54",
      "vs_anal.freq", "vs_eq.freq", "1000_over_qs_anal.freq", "1000_over_qs_eq.freq", "vs_anal.phiw", "vs_eq.phiw",
      "1000_over_qs_anal.phiw", "1000_over_qs_eq.phiw", "mod_pressure_p33_ice", "mod_grad_pressure_p33_ice",
      "mod_pressure_p55_ice", "mod_grad_pressure_p55_ice", "real_strain1_map", "imag_strain1_map",
      "real_strain3_map", "imag_strain3_map", "real_stress_map", "imag_stress_map", "matnum_p33", "matnum_p33_gnu",
      "xmu1_gnu", "xmu3_gnu", "xmu13_gnu", "xlambda1_gnu", "xlambda3_gnu", "b1_gnu", "b2_gnu", "xm_gnu", "d3_gnu",
      "b11_gnu", "b22_gnu", "b12_gnu",
      // tensor_upscale
      "tensor.csv", "tensor.gp", "tensor.png"};
  return names;
}

// The point folder opened component by component from the sweep folder,
// never through a link (O_NOFOLLOW | O_DIRECTORY at each step): what is
// removed is in the folder checked, even if a name is swapped for a link
// meanwhile. -1 when a component is a link or no folder.
static int open_point_folder(const fs::path& sweep_dir, const std::string& relative) {
  int fd = ::open(sweep_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (const auto& part : fs::path(relative)) {
    if (fd < 0) break;
    const int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(fd);
    fd = next;
  }
  return fd;
}

std::vector<std::string> remove_run_files(const fs::path& sweep_dir, const std::string& relative) {
  const int fd = open_point_folder(sweep_dir, relative);
  if (fd < 0)
    throw UsageError((sweep_dir / relative).string() + " cannot be opened as a folder of its own (" +
                     std::strerror(errno) + "); remove it");
  DIR* d = ::fdopendir(fd);
  if (d == nullptr) {
    ::close(fd);
    throw UsageError("cannot read " + (sweep_dir / relative).string());
  }
  std::vector<std::string> kept, gone;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const bool image = name.size() > 4 && name.ends_with(".png");  // drawn by --maps
    (run_file_names().count(name) || image ? gone : kept).push_back(name);
  }
  for (const auto& name : gone) ::unlinkat(::dirfd(d), name.c_str(), 0);  // a link itself, never its target
  ::closedir(d);
  return kept;
}

}  // namespace sweep

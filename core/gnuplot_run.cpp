#include "core/gnuplot_run.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "core/replace_file.hpp"

namespace core {

namespace {

constexpr std::size_t kMaxScriptBytes = 64u << 20;

// The script's bytes, read without following a link and without waiting.
bool read_script(const std::string& path, std::string& text, std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > kMaxScriptBytes) {
    why = "the gnuplot script \"" + path + "\" is not a regular file of at most 64 MiB";
    if (fd >= 0) ::close(fd);
    return false;
  }
  char buf[65536];
  for (ssize_t got; (got = ::read(fd, buf, sizeof buf)) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 || text.size() + static_cast<std::size_t>(got) > kMaxScriptBytes) {
      why = "the gnuplot script \"" + path + "\" cannot be read";
      ::close(fd);
      return false;
    }
    text.append(buf, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return true;
}

// Runs `gnuplot script` in `dir`; its exit status, or -1.
int run_child(const std::string& gnuplot, const std::string& dir, const std::string& script) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    char* argv[] = {const_cast<char*>(gnuplot.c_str()), const_cast<char*>(script.c_str()), nullptr};
    ::execv(gnuplot.c_str(), argv);
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Removes the private folder and whatever gnuplot left in it.
void remove_private(const std::string& priv, const std::vector<std::string>& names) {
  for (const std::string& n : names) ::unlink((priv + "/" + n).c_str());
  ::unlink((priv + "/script.gp").c_str());
  ::rmdir(priv.c_str());
}

// Renames each image drawn into the folder; false with `why` for the first refused.
bool place_images(const std::string& dir, const std::string& priv, const std::vector<std::string>& names,
                  GnuplotRun& run) {
  bool ok = true;
  for (const std::string& n : names) {
    const std::string from = priv + "/" + n, to = dir + "/" + n;
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;  // not drawn
    std::string why = odd_target(to);
    if (why.empty() && ::rename(from.c_str(), to.c_str()) != 0) why = std::string("cannot be put in place: ") + std::strerror(errno);
    if (why.empty()) {
      run.images.push_back(n);
    } else if (ok) {
      run.why = "the image \"" + to + "\" " + why;
      ok = false;
    }
  }
  return ok;
}

}  // namespace

std::string find_gnuplot() {
  const char* path = std::getenv("PATH");
  std::stringstream s(path ? path : "");
  for (std::string folder; std::getline(s, folder, ':');) {
    const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/gnuplot";
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return "";
}

bool redirect_outputs(const std::string& script, const std::string& private_dir, std::string& redirected,
                      std::vector<std::string>& names, std::string& why) {
  std::stringstream in(script);
  redirected.clear();
  for (std::string line; std::getline(in, line);) {
    const std::size_t start = line.find_first_not_of(" \t");
    const std::string body = start == std::string::npos ? "" : line.substr(start);
    if (body.rfind("set output", 0) == 0 || body.rfind("set out ", 0) == 0 || body.rfind("set o ", 0) == 0) {
      const std::size_t open = body.find('\'');
      const std::size_t close = open == std::string::npos ? open : body.find('\'', open + 1);
      const std::string name = close == std::string::npos ? "" : body.substr(open + 1, close - open - 1);
      const bool bare = body == "set output";
      const bool plain = !name.empty() && name.find('/') == std::string::npos && name != "." && name != ".." &&
                         body.find_first_not_of(" \t", close + 1) == std::string::npos;
      if (!bare && !plain) {
        why = "the gnuplot script sets an output that is not a plain file name of its folder: " + body.substr(0, 80);
        return false;
      }
      if (plain) {
        names.push_back(name);
        line = "set output '" + private_dir + "/" + name + "'";
      }
    }
    redirected += line + "\n";
  }
  return true;
}

GnuplotRun run_gnuplot(const std::string& dir, const std::string& script_name) {
  GnuplotRun run;
  const std::string gnuplot = find_gnuplot();
  run.found = !gnuplot.empty();
  if (!run.found) {
    run.why = "gnuplot is not installed";
    return run;
  }
  std::string script, redirected;
  std::vector<std::string> names;
  std::string priv_template = dir + "/.gnuplot.XXXXXX";
  if (!read_script(dir + "/" + script_name, script, run.why)) return run;
  if (::mkdtemp(priv_template.data()) == nullptr) {
    run.why = "cannot create a private folder for gnuplot in \"" + dir + "\": " + std::strerror(errno);
    return run;
  }
  const std::string priv = priv_template, priv_name = priv.substr(priv.rfind('/') + 1);
  std::string why;
  if (!redirect_outputs(script, priv_name, redirected, names, run.why) ||
      !replace_file(priv + "/script.gp", redirected, why)) {
    if (!why.empty()) run.why = "the gnuplot script \"" + priv + "/script.gp\" " + why;
    remove_private(priv, names);
    return run;
  }
  const int status = run_child(gnuplot, dir, priv_name + "/script.gp");
  const bool placed = place_images(dir, priv, names, run);
  run.ok = status == 0 && placed;
  if (status != 0 && placed) run.why = "gnuplot failed on \"" + dir + "/" + script_name + "\"";
  remove_private(priv, names);
  return run;
}

}  // namespace core

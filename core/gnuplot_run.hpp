// Drawing images with gnuplot without ever handing it a name in the output
// folder. gnuplot opens its `set output` files by name and follows links;
// a folder received from elsewhere may hold "sweep.png" as a link to any
// file. So the script is rewritten to draw into a private folder the
// program creates afresh (mode 0700) inside the output folder, and each
// image drawn is renamed into place afterwards under the rules of every
// other output: a name that is a link or not a regular file is refused and
// left alone.
#pragma once

#include <string>
#include <vector>

namespace core {

struct GnuplotRun {
  bool found = false;               // gnuplot is on the PATH
  bool ok = false;                  // gnuplot succeeded and every image is in place
  std::vector<std::string> images;  // the images put in place, names in the folder
  std::string why;                  // what went wrong, in words, when !ok
};

// The executable "gnuplot" on the PATH, or empty.
std::string find_gnuplot();

// Runs gnuplot on the script `script_name` of the folder `dir` (read as a
// regular file, not through a link), with `dir` as its working folder. Every
// `set output 'NAME'` line of the script must name a plain file of the
// folder (no '/' and no quote); a script naming another output is refused
// before gnuplot starts.
GnuplotRun run_gnuplot(const std::string& dir, const std::string& script_name);

// The script as gnuplot is given it: each `set output 'NAME'` line draws
// into `private_dir` instead; the names in `names`. False with `why` when a
// line names an output that is not a plain file name.
bool redirect_outputs(const std::string& script, const std::string& private_dir, std::string& redirected,
                      std::vector<std::string>& names, std::string& why);

}  // namespace core

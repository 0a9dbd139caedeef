// Example decks and their variants for the driver tests.
#pragma once

#include <string>
#include <vector>

namespace deck_files {

// Directory of the example decks (UPSCALE_EXAMPLES, else the source tree's).
std::string examples_dir();
// Lines of an example deck, without line ends.
std::vector<std::string> lines_of(const std::string& deck_name);
// The lines joined with "\n" line ends (`eol` to use another).
std::string join(const std::vector<std::string>& lines, const std::string& eol = "\n");
// The deck with record `record` (1-based) replaced by `text`.
std::vector<std::string> with_record(std::vector<std::string> lines, int record, const std::string& text);
// The first `n` records of the deck.
std::vector<std::string> first_records(std::vector<std::string> lines, int n);

}  // namespace deck_files

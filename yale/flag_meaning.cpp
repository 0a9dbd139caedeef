#include "yale/flag_meaning.hpp"

namespace yale {

namespace {

struct KindText {
  bool has_row;       // the flag names a row
  bool new_order;     // the row is a position in the new order
  const char* what;   // what happened
  const char* cause;  // the likely cause
};

constexpr const char* kAssembly = "the assembled matrix is malformed, a fault of the program";
constexpr const char* kWorkspace = "the factors need more room than the solver workspace holds";

// Indexed by FlagKind.
constexpr KindText kTexts[] = {
    {false, false, "success", ""},
    {true, false, "the matrix has no entry in row", kAssembly},
    {true, false, "the matrix holds a column twice in row", kAssembly},
    {true, true, "the column-index storage of L ran out at row", kWorkspace},
    {false, false, "the value storage of L is smaller than its structure", kWorkspace},
    {true, true, "the structure has no diagonal in row", kAssembly},
    {true, true, "the column-index storage of U ran out at row", kWorkspace},
    {false, false, "the value storage of U is smaller than its structure", kWorkspace},
    {true, true, "the pivot is exactly zero in row",
     "the system is singular: an unknown is left undetermined, most likely the fluid motion when the friction "
     "that holds it vanishes (freq = 0, or eta = 0 with no other loss)"},
    {true, false, "the list storage of the ordering ran out while reading row", kWorkspace},
    {false, false, "the workspace is too small for the solver's own partition", kWorkspace},
    {false, false, "the solver was asked for a job outside 1..5", "a fault of the program"},
    {false, false, "the flag is not one the solver sets", "a fault of the program"},
};

}  // namespace

FlagMeaning decode_flag(int32_t flag, int32_t n) {
  if (flag == 0) return {};
  if (n < 1 || flag < 0) return {FlagKind::unknown, 0};
  const int64_t f = flag;
  const int64_t k = (f - 1) / n;  // flag = k n + row, row in 1..n
  const int32_t row = static_cast<int32_t>(f - k * n);
  if (k < 1 || k > 11) return {FlagKind::unknown, 0};
  const FlagKind kind = static_cast<FlagKind>(k);
  if (!kTexts[k].has_row) return row == 1 ? FlagMeaning{kind, 0} : FlagMeaning{FlagKind::unknown, 0};
  return {kind, row};
}

std::string flag_sentence(int32_t flag, int32_t n) {
  const FlagMeaning m = decode_flag(flag, n);
  const KindText& t = kTexts[static_cast<int>(m.kind)];
  std::string s = "solver flag " + std::to_string(flag) + " (" + std::to_string(n) + " equations): " + t.what;
  if (t.has_row)
    s += " " + std::to_string(m.row) + (t.new_order ? " of the reordered system" : " of the assembled system");
  if (*t.cause) s += std::string("; ") + t.cause;
  return s;
}

}  // namespace yale

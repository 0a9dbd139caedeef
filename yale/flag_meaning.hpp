// What a solver flag says: the kind of failure, the row it names, and a
// plain sentence with the likely cause, for the message of a stopped run.
#pragma once

#include <cstdint>
#include <string>

namespace yale {

enum class FlagKind {
  none,                 // 0: success
  empty_row,            // n+k: row k has no entry
  duplicate_column,     // 2n+k: row k holds a column twice
  l_index_storage,      // 3n+k: column-index storage of L exhausted at row k
  l_value_storage,      // 4n+1: value storage of L too small
  missing_diagonal,     // 5n+k: no diagonal in the structure of row k
  u_index_storage,      // 6n+k: column-index storage of U exhausted at row k
  u_value_storage,      // 7n+1: value storage of U too small
  zero_pivot,           // 8n+k: pivot of row k exactly zero
  ordering_storage,     // 9n+k: list storage of the ordering exhausted at row k
  workspace_partition,  // 10n+1: workspace too small for the driver's partition
  bad_job,              // 11n+1: job outside 1..5
  unknown,              // anything else
};

struct FlagMeaning {
  FlagKind kind = FlagKind::none;
  int32_t row = 0;  // the row k the flag names (1..n), 0 when it names none
};

// Decodes `flag` of a system of `n` equations.
FlagMeaning decode_flag(int32_t flag, int32_t n);

// "solver flag F (n equations): <what it means>, row k ...; <likely cause>".
std::string flag_sentence(int32_t flag, int32_t n);

}  // namespace yale

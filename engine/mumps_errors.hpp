// MUMPS's error codes (INFOG(1) < 0) turned into messages a user can act on.
#pragma once

#include <stdexcept>
#include <string>

namespace engine {

// A MUMPS phase stopped with an error: raised on every rank, since MUMPS
// hands the failing rank's code to all of them.
class MumpsError : public std::runtime_error {
 public:
  MumpsError(const std::string& what, int code, int failed_rank)
      : std::runtime_error(what), code(code), failed_rank(failed_rank) {}
  int code;         // INFOG(1)
  int failed_rank;  // the rank that detected it
};

// One sentence on what MUMPS's code means, with INFOG(2) where it carries a
// number; "" for a code without a known meaning.
std::string mumps_code_meaning(int code, int detail);

// The exception for `phase` ("analysis", ...), given INFOG(1), INFOG(2) and
// this rank's INFO(1), INFO(2) (INFO(1) = -1 means another rank failed,
// INFO(2) naming it).
MumpsError mumps_error(const std::string& phase, int infog1, int infog2, int info1, int info2, int my_rank);

}  // namespace engine

#include "engine/mumps_errors.hpp"

namespace engine {

std::string mumps_code_meaning(int code, int detail) {
  const std::string d = std::to_string(detail);
  switch (code) {
    case -2: return "the number of matrix entries is out of range (" + d + ")";
    case -3: return "the phases were called in the wrong order";
    case -5: case -7: case -13:
      return "a work array could not be allocated: the rank ran out of memory (request " + d +
             (detail < 0 ? " million" : "") + " words); use fewer unknowns per rank, more ranks, or --out-of-core";
    case -6: return "the matrix is structurally singular (structural rank " + d + ")";
    case -8: case -9: case -14: case -15:
      return "the work space estimated at analysis was too small for the pivots chosen (missing " + d +
             "); the memory relaxation must be raised";
    case -10: return "the matrix is numerically singular: a pivot is zero";
    case -11: case -12: return "the solve's work space is too small";
    case -16: return "the order of the matrix is out of range (" + d + ")";
    case -17: case -20: return "an internal communication buffer is too small; the memory relaxation must be raised";
    case -22: return "an array handed to MUMPS is invalid (" + d + ")";
    case -40: return "the matrix is not positive definite though declared so";
    case -90: return "an out-of-core file could not be written or read: the disk is full or the folder unwritable";
    default:
      if (code <= -70 && code >= -79)
        return "out-of-core input/output failed (code " + std::to_string(code) + "): check the folder and its free space";
      return "";
  }
}

MumpsError mumps_error(const std::string& phase, int infog1, int infog2, int info1, int info2, int my_rank) {
  const int failed = info1 == -1 ? info2 : my_rank;
  std::string what = "MUMPS " + phase + " failed on rank " + std::to_string(failed) + " with INFOG(1) = " +
                     std::to_string(infog1) + ", INFOG(2) = " + std::to_string(infog2);
  const std::string meaning = mumps_code_meaning(infog1, infog2);
  if (!meaning.empty()) what += ": " + meaning;
  return MumpsError(what, infog1, failed);
}

}  // namespace engine

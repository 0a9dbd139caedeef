// Every code a run can end with, and what each one tells the user.
#pragma once

#include <string_view>

namespace core {

// Codes of the run itself.
inline constexpr int kStopNormal = 40;        // normal end of a run
inline constexpr int kStopInputError = 2;     // a record or file that cannot be read
inline constexpr int kStopOutOfMemory = 12;   // the memory the run needs could not be had
inline constexpr int kStopDeckRefused = 13;   // a deck value outside its range, capacity or key
inline constexpr int kStopOutputError = 74;   // a result file or the report could not be written
inline constexpr int kStopNoCorrectDigit = 41; // the error bound of a headline modulus exceeds 1e-3
inline constexpr int kStopFolderBusy = 75;     // another run holds the working folder

// Codes of the computation.
inline constexpr int kStopPorosityCheck = 11;      // ice model: phi_layer1 not below phi_a
inline constexpr int kStopOrderingFailed = 9;      // the sparse ordering returned a flag
inline constexpr int kStopSolveFailed = 99;        // the sparse factorisation returned a flag
inline constexpr int kStopMaterialMap = 222;    // a cell without a layer material of the deck
inline constexpr int kStopFractionSum = 555;       // the volume fractions of a cell do not add to 1
inline constexpr int kStopLambda1 = 12345;         // cell (1,1): lambda1 not positive
inline constexpr int kStopLambda3 = 12346;         // cell (1,1): lambda3 not positive
inline constexpr int kStopIceFraction = 45678;     // ice model: no room for ice in a cell
inline constexpr int kStopEnergyBulk = 45687;    // strain energy not positive definite
inline constexpr int kStopEnergyShear = 45688;  // the same, shear part
inline constexpr int kStopFriction = 99998;       // cell (1,1): f11 f22 - f12^2 negative
inline constexpr int kStopFrictionPrime = 99999;       // cell (1,1): f11' f22 - f12^2 negative
inline constexpr int kStopNegativeVelocity = 2000; // 2000 + n: plane wave n (vp1..vs2) has v < 0

// One plain sentence saying why a run ended with `code` and what to look
// at; empty for the normal end and for unknown codes.
std::string_view stop_meaning(int code);

}  // namespace core

// The angular frequency omega = 2 pi f of a frequency f in Hz, formed the
// same way by every program.
#pragma once

namespace core {

inline constexpr double kTwoPi = 6.283185307179586;

constexpr double angular_frequency(double freq_hz) { return freq_hz * kTwoPi; }

}  // namespace core

// The closed-form results of the stand-in program, shared by the stand-in
// and the tests that predict its table.
#pragma once

#include <cmath>

namespace stand_in {

struct Values {
  double rho;                      // rob_med
  double v_fe, q_fe, re, im;       // c33 (or c13): velocity, 1000/Q, modulus
  double v_anal, q_anal;           // analytic velocity and 1000/Q
  double v_second, q_second, re_second, im_second;  // mstar (or cmu)
  double re_p3, im_p3;             // modulus from the solid-3 displacement
};

inline Values values(double freq, double phi1, double phi2, bool shear) {
  Values v{};
  double x = freq / 30.0;
  v.rho = 2200 + 800 * phi1 + 100 * phi2;
  v.v_fe = (shear ? 1800 : 3000) + 1000 * phi1 + 100 * std::log10(freq);
  v.q_fe = 10 + 40 * phi1 * x / (1 + x * x);
  v.re = v.rho * v.v_fe * v.v_fe;
  v.im = v.re * v.q_fe / 1000;
  v.v_anal = v.v_fe + 5;
  v.q_anal = v.q_fe + 1;
  v.v_second = v.v_fe * 1.01;
  v.q_second = v.q_fe * 0.99;
  v.re_second = v.re * 1.02;
  v.im_second = -v.im;
  v.re_p3 = v.re / 2;
  v.im_p3 = v.im / 2;
  return v;
}

}  // namespace stand_in

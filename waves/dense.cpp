#include "waves/dense.hpp"

#include <cmath>

namespace waves {

using core::cdiv;
using core::cplx;
using core::crecip;

namespace {

constexpr double kThird = 0.3333333333333333;
constexpr double kTwoPiOver3 = 2.0943951023931953;

zcomplex cube(zcomplex z) { return z * z * z; }

}  // namespace

void cubeq2(const zcomplex& a, const zcomplex& b, const zcomplex& c, const zcomplex& d, zcomplex& x1, zcomplex& x2,
            zcomplex& x3) {
  // Monic form and the depressed cubic y^3 + p*y + q = 0, x = y - b'/3.
  const zcomplex bn = cdiv(b, a);
  const zcomplex cn = cdiv(c, a);
  const zcomplex dn = cdiv(d, a);
  const zcomplex p = cn - bn * (bn * kThird);
  const zcomplex q = 2.0 * cube(bn / 3.0) - cdiv(b * (c / 3.0), a * a) + dn;

  // One cube root u of w = sqrt((p/3)^3 + (q/2)^2) - q/2, on the three
  // branches; each root is u - p/(3u) - b'/3.
  const zcomplex s = core::csqrt(cube(p / 3.0) + (q / 2.0) * (q / 2.0));
  const zcomplex w = s - q / 2.0;
  const double r = std::pow(core::cabs(w), kThird);
  double theta = std::atan2(w.im, w.re) * kThird;

  zcomplex* const roots[3] = {&x1, &x2, &x3};
  for (zcomplex* x : roots) {
    const zcomplex u = r * cplx(std::cos(theta), std::sin(theta));
    *x = u - (p * cplx(std::cos(theta), std::sin(-theta)) / 3.0) / r - bn / 3.0;
    theta += kTwoPiOver3;
  }
}

void cautov(const Mat3& m, Vec3& lambda) {
  // lambda^3 + c2*lambda^2 + c1*lambda + c0: c2 = -trace, c1 = the sum of the
  // principal 2 x 2 minors, c0 = -det.
  const zcomplex c2 = -(m(1, 1) + m(2, 2) + m(3, 3));
  const zcomplex c1 = m(1, 1) * m(2, 2) + m(1, 1) * m(3, 3) + m(2, 2) * m(3, 3) - m(1, 2) * m(2, 1) -
                      m(1, 3) * m(3, 1) - m(2, 3) * m(3, 2);
  const zcomplex det = m(1, 1) * (m(2, 2) * m(3, 3) - m(2, 3) * m(3, 2)) -
                       m(1, 2) * (m(2, 1) * m(3, 3) - m(2, 3) * m(3, 1)) +
                       m(1, 3) * (m(2, 1) * m(3, 2) - m(2, 2) * m(3, 1));
  cubeq2(cplx(1.0, 0.0), c2, c1, -det, lambda(1), lambda(2), lambda(3));
}

void c_invert(int n, Mat5& m) {
  Vec5 t;  // B * (new column)
  Vec5 u;  // (new row) * B
  m(1, 1) = crecip(m(1, 1));
  for (int k = 2; k <= n; ++k) {
    // B, the inverse of the leading (k-1) block, sits in m(1..k-1, 1..k-1).
    for (int j = 1; j < k; ++j) {
      zcomplex sum{0.0, 0.0};
      for (int l = 1; l < k; ++l) sum += m(j, l) * m(l, k);
      t(j) = sum;
    }
    zcomplex schur = m(k, k);
    for (int l = 1; l < k; ++l) schur -= m(k, l) * t(l);
    const zcomplex delta = crecip(schur);
    for (int j = 1; j < k; ++j) m(j, k) = -(t(j) * delta);
    for (int l = 1; l < k; ++l) {
      zcomplex sum{0.0, 0.0};
      for (int j = 1; j < k; ++j) sum += m(k, j) * m(j, l);
      u(l) = sum;
    }
    for (int l = 1; l < k; ++l) m(k, l) = -(u(l) * delta);
    for (int j = 1; j < k; ++j)
      for (int l = 1; l < k; ++l) m(j, l) -= t(j) * m(k, l);
    m(k, k) = delta;
  }
}

}  // namespace waves

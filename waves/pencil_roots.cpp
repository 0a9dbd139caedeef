#include "waves/pencil_roots.hpp"

#include <cmath>
#include <limits>
#include <utility>

#include "waves/dense.hpp"

namespace waves {

using core::cdiv;
using core::cplx;

namespace {

// sum a[i]*b[i] as if computed in twice the working precision and rounded
// once: each product split exactly into p + e with a fused multiply-add, the
// p summed with error-free transformations, all errors added at the end.
template <int N>
double dot2(const double (&a)[N], const double (&b)[N]) {
  double s = 0.0, c = 0.0;
  for (int i = 0; i < N; ++i) {
    const double p = a[i] * b[i];
    const double e = std::fma(a[i], b[i], -p);
    const double t = s + p;
    const double z = t - s;
    c += (s - (t - z)) + (p - z) + e;
    s = t;
  }
  return s + c;
}

// sum x[i]*y[i] over complex numbers, each component by dot2.
template <int N>
zcomplex cdot(const zcomplex (&x)[N], const zcomplex (&y)[N]) {
  double a[2 * N], b[2 * N], c[2 * N], d[2 * N];
  for (int i = 0; i < N; ++i) {
    a[i] = x[i].re;      b[i] = y[i].re;      // re*re
    a[N + i] = -x[i].im; b[N + i] = y[i].im;  // -im*im
    c[i] = x[i].re;      d[i] = y[i].im;      // re*im
    c[N + i] = x[i].im;  d[N + i] = y[i].re;  // im*re
  }
  return {dot2(a, b), dot2(c, d)};
}

zcomplex csum(zcomplex x, zcomplex y, zcomplex z = {0.0, 0.0}) {
  const double one[3] = {1.0, 1.0, 1.0};
  const double re[3] = {x.re, y.re, z.re}, im[3] = {x.im, y.im, z.im};
  return {dot2(re, one), dot2(im, one)};
}

// x*y - u*v
zcomplex cminor(zcomplex x, zcomplex y, zcomplex u, zcomplex v) { return cdot<2>({x, -u}, {y, v}); }

// A 3 x 3 matrix given by its columns.
struct Cols3 {
  const Vec3* c[3];
  const zcomplex& operator()(int i, int j) const { return (*c[j - 1])(i); }
};

zcomplex det3(const Cols3& x) {
  const zcomplex m11 = cminor(x(2, 2), x(3, 3), x(2, 3), x(3, 2));
  const zcomplex m12 = cminor(x(2, 1), x(3, 3), x(2, 3), x(3, 1));
  const zcomplex m13 = cminor(x(2, 1), x(3, 2), x(2, 2), x(3, 1));
  return cdot<3>({x(1, 1), -x(1, 2), x(1, 3)}, {m11, m12, m13});
}

void columns(const Mat3& m, Vec3 (&col)[3]) {
  for (int j = 1; j <= 3; ++j)
    for (int i = 1; i <= 3; ++i) col[j - 1](i) = m(i, j);
}

// The pencil det(A - lambda E) with its columns at hand.
struct Pencil3 {
  Vec3 a[3], e[3];

  // d3*lambda^3 + d2*lambda^2 + d1*lambda + d0, from the mixed determinants
  // that take k columns from E and the others from A.
  void coefficients(zcomplex& d3, zcomplex& d2, zcomplex& d1, zcomplex& d0) const {
    d0 = det3({{&a[0], &a[1], &a[2]}});
    d1 = -csum(det3({{&e[0], &a[1], &a[2]}}), det3({{&a[0], &e[1], &a[2]}}), det3({{&a[0], &a[1], &e[2]}}));
    d2 = csum(det3({{&a[0], &e[1], &e[2]}}), det3({{&e[0], &a[1], &e[2]}}), det3({{&e[0], &e[1], &a[2]}}));
    d3 = -det3({{&e[0], &e[1], &e[2]}});
  }

  // One Newton step on det(A - lambda E), kept only when it is finite.
  zcomplex newton(zcomplex lambda) const {
    Vec3 m[3];
    for (int j = 0; j < 3; ++j)
      for (int i = 1; i <= 3; ++i) {
        const zcomplex x = a[j](i), y = e[j](i);
        const double re[3] = {x.re, -lambda.re, lambda.im}, re_f[3] = {1.0, y.re, y.im};
        const double im[3] = {x.im, -lambda.re, -lambda.im}, im_f[3] = {1.0, y.im, y.re};
        m[j](i) = {dot2(re, re_f), dot2(im, im_f)};
      }
    const zcomplex p = det3({{&m[0], &m[1], &m[2]}});
    const zcomplex dp =
        -csum(det3({{&e[0], &m[1], &m[2]}}), det3({{&m[0], &e[1], &m[2]}}), det3({{&m[0], &m[1], &e[2]}}));
    const zcomplex next = lambda - cdiv(p, dp);
    return std::isfinite(next.re) && std::isfinite(next.im) ? next : lambda;
  }
};

// Roots of lambda^2 - s*lambda + p = 0: one from the sum with the
// discriminant root of the larger modulus, the other from the product.
void quadratic_roots(zcomplex s, zcomplex p, zcomplex& x1, zcomplex& x2) {
  zcomplex r = core::csqrt(cdot<2>({s, cplx(-4.0)}, {s, p}));
  if (s.re * r.re + s.im * r.im < 0.0) r = -r;
  const zcomplex q = 0.5 * (s + r);
  x1 = q;
  x2 = (q.re == 0.0 && q.im == 0.0) ? q : cdiv(p, q);
}

double distance(zcomplex x, zcomplex y) {
  const double d = core::cabs(x - y) / (core::cabs(x) + core::cabs(y));
  return std::isnan(d) ? std::numeric_limits<double>::infinity() : d;
}

}  // namespace

void compressional_pencil(const Mat5& e, const Mat5& a, Mat3& et, Mat3& at) {
  // Rows and columns of the 5 x 5 matrices: u1 = 1, w = 3, u3 = 4.
  // T: u1 = c, w = w, u3 = c + d.
  const Mat5* src[2] = {&e, &a};
  Mat3* dst[2] = {&et, &at};
  for (int n = 0; n < 2; ++n) {
    const Mat5& x = *src[n];
    Mat3& y = *dst[n];
    y(1, 1) = csum(csum(x(1, 1), x(1, 4)), x(4, 1), x(4, 4));
    y(1, 2) = csum(x(1, 3), x(4, 3));
    y(2, 1) = csum(x(3, 1), x(3, 4));
    y(1, 3) = csum(x(1, 4), x(4, 4));
    y(3, 1) = csum(x(4, 1), x(4, 4));
    y(2, 2) = x(3, 3);
    y(2, 3) = x(3, 4);
    y(3, 2) = x(4, 3);
    y(3, 3) = x(4, 4);
  }
}

void shear_pencil(const Mat5& e, const Mat5& a, Mat2& et, Mat2& at) {
  // Rows and columns: u1 = 2, u3 = 5; u1 = c, u3 = c + d.
  et(1, 1) = csum(csum(e(2, 2), e(2, 5)), e(5, 2), e(5, 5));
  et(1, 2) = csum(e(2, 5), e(5, 5));
  et(2, 1) = csum(e(5, 2), e(5, 5));
  et(2, 2) = e(5, 5);

  // The compressional A' in (c, w, d), then the Schur complement of w:
  // at(I,J) = (A'(I,J) A'(w,w) - A'(I,w) A'(w,J)) / A'(w,w).
  Mat3 e3, a3;
  compressional_pencil(e, a, e3, a3);
  const int idx[2] = {1, 3};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      const int I = idx[i], J = idx[j];
      at(i + 1, j + 1) = cdiv(cminor(a3(I, J), a3(2, 2), a3(I, 2), a3(2, J)), a3(2, 2));
    }
}

void pencil3_roots(const Mat3& at, const Mat3& et, Vec3& mu) {
  Pencil3 pencil;
  columns(at, pencil.a);
  columns(et, pencil.e);
  zcomplex d3, d2, d1, d0;
  pencil.coefficients(d3, d2, d1, d0);

  Vec3 x;
  cubeq2(d3, d2, d1, d0, x(1), x(2), x(3));
  int big = 1;
  for (int i = 2; i <= 3; ++i)
    if (core::cabs(x(i)) > core::cabs(x(big))) big = i;
  const zcomplex l1 = pencil.newton(x(big));

  // The other two: product p = l2*l3 = -d0/(d3*l1), sum s = l2 + l3 from
  // d1/d3 = l1*s + p, which does not cancel when l1 is the largest.
  const zcomplex p = cdiv(-d0, d3 * l1);
  const zcomplex s = cdiv(cdiv(d1, d3) - p, l1);
  zcomplex l2, l3;
  quadratic_roots(s, p, l2, l3);
  mu(1) = l1;
  mu(2) = pencil.newton(l2);
  mu(3) = pencil.newton(l3);
}

void pencil2_roots(const Mat2& at, const Mat2& et, Vec2& mu) {
  // c2*lambda^2 + c1*lambda + c0 = det(at - lambda et).
  const zcomplex c2 = cminor(et(1, 1), et(2, 2), et(1, 2), et(2, 1));
  const zcomplex c1 = -cdot<4>({at(1, 1), at(2, 2), -at(1, 2), -at(2, 1)}, {et(2, 2), et(1, 1), et(2, 1), et(1, 2)});
  const zcomplex c0 = cminor(at(1, 1), at(2, 2), at(1, 2), at(2, 1));
  zcomplex r = core::csqrt(cdot<2>({c1, cplx(-4.0) * c2}, {c1, c0}));
  if (c1.re * r.re + c1.im * r.im < 0.0) r = -r;
  const zcomplex q = -0.5 * (c1 + r);
  mu(1) = cdiv(q, c2);
  mu(2) = cdiv(c0, q);
}

void accurate_slownesses(const Mat5& e, const Mat5& a, Vec3& lambda, Vec2& tau) {
  Mat3 e3, a3;
  compressional_pencil(e, a, e3, a3);
  Vec3 mu;
  pencil3_roots(a3, e3, mu);

  int slot3 = 1;
  for (int i = 2; i <= 3; ++i)
    if (distance(mu(i), lambda(3)) < distance(mu(slot3), lambda(3))) slot3 = i;
  int s1 = slot3 == 1 ? 2 : 1;
  int s2 = 6 - slot3 - s1;
  if (distance(mu(s2), lambda(1)) + distance(mu(s1), lambda(2)) <
      distance(mu(s1), lambda(1)) + distance(mu(s2), lambda(2)))
    std::swap(s1, s2);
  const Vec3 given = mu;
  lambda(1) = given(s1);
  lambda(2) = given(s2);
  lambda(3) = given(slot3);

  Mat2 e2, a2;
  shear_pencil(e, a, e2, a2);
  Vec2 nu;
  pencil2_roots(a2, e2, nu);
  if (distance(nu(2), tau(1)) + distance(nu(1), tau(2)) < distance(nu(1), tau(1)) + distance(nu(2), tau(2))) {
    tau(1) = nu(2);
    tau(2) = nu(1);
  } else {
    tau(1) = nu(1);
    tau(2) = nu(2);
  }
}

}  // namespace waves

#include "waves/plane_waves.hpp"

#include <cmath>
#include <string>
#include <utility>

#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"
#include "waves/dense.hpp"
#include "waves/pencil_roots.hpp"

namespace waves {

using core::cdiv;
using core::cplx;

namespace {

constexpr double kAttenuation = 54.57505014459279;
constexpr const char* kStars = "********************************************";

struct Wave {
  double v;   // velocity, m/s
  double q;   // quality factor
  double at;  // printed attenuation
};

// Velocity, Q and printed attenuation of a wave of complex slowness s.
Wave wave_of(zcomplex s) {
  return {1.0 / s.re, std::abs(s.re / s.im), kAttenuation * std::abs(s.im / s.re)};
}

void report_banner(core::TextOut& out, double omega) {
  out.list(kStars);
  out.blank();
  out.list(" ANGULAR FREQUENCY :  ", omega, " (HZ)");
  out.blank();
  out.list(kStars);
}

void report_compressional(core::TextOut& out, const CellWaves& w, const char* unit) {
  out.list("Compressional wave speeds using eigenvalues");
  out.list("  of matrix S = E^{-1} A associated with   ");
  out.list(" rows and  col. 1,3 y 4  of S,  respec.");
  out.blank();
  const double v[3] = {w.r.vp1, w.r.vp2, w.r.vp3};
  const double over_q[3] = {w.r.over_qp1, w.r.over_qp2, w.r.over_qp3};
  for (int n = 0; n < 3; ++n) {
    const std::string i = std::to_string(n + 1);
    out.list("vp" + i + " = ", v[n], unit, " atp" + i + " = ", w.atp[n], "1000/qp" + i + " ", over_q[n]);
    out.list(" Q" + i + " = ", w.qp[n]);
    out.blank();
  }
}

void report_shear(core::TextOut& out, const CellWaves& w) {
  out.list(" Shear  wave speeds and att. using eigenvalues");
  out.list("  of matrix S = E^{-1} A col. associated with ");
  out.list(" rows and  cols. 2 and 5 of  S,  respec.");
  out.blank();
  const double v[2] = {w.r.vs1, w.r.vs2};
  const double over_q[2] = {w.r.over_qs1, w.r.over_qs2};
  for (int n = 0; n < 2; ++n) {
    const std::string i = std::to_string(n + 1);
    out.list("vs" + i + " = ", v[n], " ats" + i + " = ", w.ats[n], "1000/qs" + i + " ", over_q[n]);
    out.list(" Qs" + i + " = ", w.qs[n]);
    out.blank();
  }
}

void check_positive(const PlaneWaves& r) {
  const double v[5] = {r.vp1, r.vp2, r.vp3, r.vs1, r.vs2};
  const char* const name[5] = {"vp1", "vp2", "vp3", "vs1", "vs2"};
  for (int n = 0; n < 5; ++n)
    if (v[n] <= 0.0) {
      const std::string text = std::string(" error, ") + name[n] + " is negative, " + name[n] + " = ";
      core::raise_stop(core::kStopNegativeVelocity + n, core::list_line(text, v[n]).substr(1));
    }
}

}  // namespace

void wave_matrices(const CellCoefficients& c, double omega, Mat5& e, Mat5& a) {
  e = Mat5{};
  e(1, 1) = cplx(c.lambda1 + 2.0 * c.mu1);
  e(2, 2) = cplx(c.mu1);
  e(3, 3) = cplx(c.m);
  e(4, 4) = cplx(c.lambda3 + 2.0 * c.mu3);
  e(5, 5) = cplx(c.mu3);
  e(1, 3) = e(3, 1) = cplx(c.b1);
  e(3, 4) = e(4, 3) = cplx(c.b2);
  e(1, 4) = e(4, 1) = cplx(c.mu13 + c.d3);
  e(2, 5) = e(5, 2) = cplx(0.5 * c.mu13);

  // Friction over frequency, i*f/omega.
  const zcomplex w = cplx(omega);
  const zcomplex g11 = cdiv(cplx(0.0, c.f11), w);
  const zcomplex g12 = cdiv(cplx(0.0, c.f12), w);
  const zcomplex g22 = cdiv(cplx(0.0, c.f22), w);
  a = Mat5{};
  a(1, 1) = cplx(c.p11) - g11;
  a(1, 3) = a(3, 1) = cplx(c.p12) + g12;
  a(1, 4) = a(4, 1) = cplx(c.p13) + g11;
  a(3, 3) = cplx(c.p22) - g22;
  a(3, 4) = a(4, 3) = cplx(c.p23) - g12;
  a(4, 4) = cplx(c.p33) - g11;
  // Shear: the solid block {1, 4} with the fluid eliminated.
  a(2, 2) = a(1, 1) - cdiv(a(1, 3) * a(1, 3), a(3, 3));
  a(2, 5) = a(5, 2) = a(1, 4) - cdiv(a(1, 3) * a(3, 4), a(3, 3));
  a(5, 5) = a(4, 4) - cdiv(a(3, 4) * a(3, 4), a(3, 3));
}

void direct_slownesses(const Mat5& e, const Mat5& a, Vec3& lambda, Vec2& tau) {
  Mat5 einv = e;
  c_invert(5, einv);
  Mat5 s;
  for (int i = 1; i <= 5; ++i)
    for (int l = 1; l <= 5; ++l) {
      zcomplex sum{0.0, 0.0};
      for (int r = 1; r <= 5; ++r) sum += einv(i, r) * a(r, l);
      s(i, l) = sum;
    }

  constexpr int rows[3] = {1, 3, 4};
  Mat3 p;
  for (int i = 1; i <= 3; ++i)
    for (int l = 1; l <= 3; ++l) p(i, l) = s(rows[i - 1], rows[l - 1]);
  cautov(p, lambda);

  const zcomplex tr = s(2, 2) + s(5, 5);
  const zcomplex det = s(2, 2) * s(5, 5) - s(2, 5) * s(5, 2);
  const zcomplex r = core::csqrt(tr * tr - 4.0 * det);
  tau(1) = 0.5 * (tr + r);
  tau(2) = 0.5 * (tr - r);
}

CellWaves cell_waves(const CellCoefficients& c, double omega) {
  Mat5 e, a;
  wave_matrices(c, omega, e, a);
  Vec3 lambda;
  Vec2 tau;
  direct_slownesses(e, a, lambda, tau);
  accurate_slownesses(e, a, lambda, tau);

  // Compressional: the faster of modes 1 and 2 is the first wave; mode 3
  // keeps its place.
  Wave p[3];
  for (int n = 0; n < 3; ++n) p[n] = wave_of(core::csqrt(lambda.v[n]));
  if (p[1].v > p[0].v) std::swap(p[0], p[1]);
  Wave s[2];
  for (int n = 0; n < 2; ++n) s[n] = wave_of(core::csqrt(tau.v[n]));
  if (s[1].v > s[0].v) std::swap(s[0], s[1]);

  CellWaves w;
  w.r = {p[0].v, p[1].v, p[2].v, s[0].v, s[1].v,
         1000.0 / p[0].q, 1000.0 / p[1].q, 1000.0 / p[2].q, 1000.0 / s[0].q, 1000.0 / s[1].q};
  for (int n = 0; n < 3; ++n) {
    w.qp[n] = p[n].q;
    w.atp[n] = p[n].at;
  }
  for (int n = 0; n < 2; ++n) {
    w.qs[n] = s[n].q;
    w.ats[n] = s[n].at;
  }
  return w;
}

PlaneWaves veloc_aten(int32_t nx, int32_t ny, double omega, const core::Coefficients& coef, core::TestKind kind,
                      core::TextOut& out) {
  const bool shear = kind == core::TestKind::shear;
  const int32_t jref = nx / 2, kref = ny / 2;
  PlaneWaves last{};
  for (int32_t k = 1; k <= ny; ++k)
    for (int32_t j = 1; j <= nx; ++j) {
      const CellWaves w = cell_waves(coef.at(j, k), omega);
      if (shear) {
        if (j == 1 && k == 1) {
          report_banner(out, omega);
          out.blank();
          report_compressional(out, w, " m/s");
          out.blank();
          report_shear(out, w);
        }
      } else {
        if (j == 1 && k == 1) report_banner(out, omega);
        if (j == jref && k == kref) {
          out.list("nx/2,ny/2 ", jref, kref);
          report_compressional(out, w, "m/s");
          out.list("nx/2,ny/2 ", jref, kref);
          out.blank();
          report_shear(out, w);
        }
      }
      check_positive(w.r);
      last = w.r;
    }
  out.blank();
  return last;
}

}  // namespace waves

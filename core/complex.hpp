// Complex arithmetic for the analysis, the element matrices and the solver.
//
// A plain pair of reals: no constructor that touches memory (large arrays of
// it stay untouched until written), products written out as real arithmetic
// so that the compiler inlines them, and quotients only through the scaled
// division `cdiv`, which divides by the component of larger magnitude first.
#pragma once

#include <cmath>
#include <complex>

namespace core {

template <class T>
struct Complex {
  T re;
  T im;

  constexpr Complex& operator+=(const Complex& o) { re += o.re; im += o.im; return *this; }
  constexpr Complex& operator-=(const Complex& o) { re -= o.re; im -= o.im; return *this; }
  constexpr Complex& operator*=(T s) { re *= s; im *= s; return *this; }
};

using zcomplex = Complex<double>;  // double-precision complex
using ccomplex = Complex<float>;   // single-precision complex

template <class T> constexpr Complex<T> cplx(T re, T im = T(0)) { return {re, im}; }

template <class T> constexpr Complex<T> operator+(Complex<T> a, Complex<T> b) { return {a.re + b.re, a.im + b.im}; }
template <class T> constexpr Complex<T> operator-(Complex<T> a, Complex<T> b) { return {a.re - b.re, a.im - b.im}; }
template <class T> constexpr Complex<T> operator-(Complex<T> a) { return {-a.re, -a.im}; }
template <class T> constexpr Complex<T> operator*(Complex<T> a, Complex<T> b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}
template <class T> constexpr Complex<T> operator*(T s, Complex<T> a) { return {s * a.re, s * a.im}; }
template <class T> constexpr Complex<T> operator*(Complex<T> a, T s) { return {a.re * s, a.im * s}; }
template <class T> constexpr Complex<T> operator/(Complex<T> a, T s) { return {a.re / s, a.im / s}; }
template <class T> constexpr bool operator==(Complex<T> a, Complex<T> b) { return a.re == b.re && a.im == b.im; }
template <class T> constexpr Complex<T> conj(Complex<T> a) { return {a.re, -a.im}; }

// (x + iy) / (r + is), scaled: divide by the component of larger magnitude
// first, so that no intermediate overflows or underflows needlessly.
template <class T>
constexpr Complex<T> cdiv(Complex<T> num, Complex<T> den) {
  const T r = den.re, s = den.im, x = num.re, y = num.im;
  if (std::abs(s) <= std::abs(r)) {
    const T t = s / r;
    const T d = r + s * t;
    return {(x + y * t) / d, (y - x * t) / d};
  }
  const T t = r / s;
  const T d = r * t + s;
  return {(x * t + y) / d, (y * t - x) / d};
}

// 1 / (r + is) by the same scaled rule.
template <class T>
constexpr Complex<T> crecip(Complex<T> den) { return cdiv(Complex<T>{T(1), T(0)}, den); }

// Principal square root (real part >= 0) and modulus, through the standard library.
template <class T>
inline Complex<T> csqrt(Complex<T> a) {
  const std::complex<T> r = std::sqrt(std::complex<T>(a.re, a.im));
  return {r.real(), r.imag()};
}
template <class T> inline T cabs(Complex<T> a) { return std::abs(std::complex<T>(a.re, a.im)); }

}  // namespace core

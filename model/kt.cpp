#include "model/kt.hpp"

namespace model {

void kt(double K_m, double mu_m, double K_i, double mu_i, double f, double& K_out, double& mu_out) {
  const double a = 3.0 * K_i + 4.0 * mu_m;
  K_out = K_m * (1.0 + 4.0 * f * mu_m * (K_i - K_m) / (a * K_m)) / (1.0 - 3.0 * f * (K_i - K_m) / a);
  const double p = 9.0 * K_m + 8.0 * mu_m;
  const double q = 6.0 * K_m + 12.0 * mu_m;
  mu_out = mu_m * ((mu_m * (1.0 - f) + f * mu_i) * p + mu_i * q) /
           (mu_m * p + (mu_i * (1.0 - f) + f * mu_m) * q);
}

}  // namespace model

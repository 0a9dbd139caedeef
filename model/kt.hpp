// Effective moduli of a matrix of phase m holding spherical inclusions of
// phase i at volume fraction f (the Hashin-Shtrikman bounds with the matrix
// as reference phase; the upper bounds when the matrix is the stiffer one).
#pragma once

namespace model {

void kt(double K_m, double mu_m, double K_i, double mu_i, double f, double& K_out, double& mu_out);

}  // namespace model

// The report of the elastic law of the reference cell, and the warnings and
// stops on an elastic law that is not admissible.
#pragma once

#include "core/text_out.hpp"
#include "model/e_modulus.hpp"
#include "model/cell_loop.hpp"
#include "model/fractions.hpp"

namespace model {

// The ice model's fraction block of the reference cell, printed before its
// fractions are checked.
void print_ice_fractions(core::TextOut& out, const CellSite& site, const CellFractions& f);

// The moduli of the reference cell; stops with kStopLambda1 / kStopLambda3
// when lambda1 / lambda3 is not positive.
void print_reference_elastic(core::TextOut& out, bool shear, bool ice, const CellSite& site, const ElasticCell& e);

// " neg. lambda1 j,k" for any other cell with lambda1 <= 0.
void warn_negative_lambda1(core::TextOut& out, const CellSite& site, const ElasticCell& e);

// Stops with kStopEnergyBulk / kStopEnergyShear when the strain energy of
// the cell's law is not positive definite.
void require_positive_energy(core::TextOut& out, bool shear, const CellSite& site, const ElasticCell& e);

}  // namespace model

// The report of the mass and friction coefficients of the reference cell,
// and the stops on a friction matrix that is not positive.
#pragma once

#include "core/deck.hpp"
#include "core/text_out.hpp"
#include "model/fractions.hpp"
#include "model/mass_visco_coef.hpp"

namespace model {

// The fraction block, printed before the fractions are checked.
void print_mass_fractions(core::TextOut& out, bool ice, double phi, const CellFractions& f);

// Densities, mass coefficients and permeabilities of material `n`'s cell.
void print_reference_mass(core::TextOut& out, bool shear, bool ice, const core::Deck& deck, int n, const MassCell& m);

// The friction matrix; stops with kStopFrictionPrime / kStopFriction when
// its determinant without / with the second solid-solid term is negative.
void print_reference_friction(core::TextOut& out, bool shear, const MassCell& m);

}  // namespace model

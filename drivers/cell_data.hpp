// The cell fields of a run, and the stages that give every cell its
// material, its water proportion and its coefficients.
#pragma once

#include "core/cell_array.hpp"
#include "core/coefficients.hpp"
#include "core/deck.hpp"
#include "core/text_out.hpp"
#include "drivers/cell_maps.hpp"
#include "drivers/upscaling_run.hpp"
#include "fem/numbering.hpp"
#include "model/fractions.hpp"
#include "model/porosity.hpp"

namespace drivers {

// The cell fields and maps of a run, sized for the largest grid.
struct CellData {
  core::Deck deck;
  core::ByMaterial<double> layer_size;
  core::IntField matnum;
  core::RealField phiw;
  core::Coefficients coef;
  fem::XnodTable xnod;
  ComplexField strain1, strain3, stress;
  ComplexPressureMap pres, derx_pres, dery_pres;
  RealPressureMap grad_pres_mod;
};

// Angular frequency of the deck's test frequency, rad/s.
double angular_frequency(const core::Deck& deck);

// The layered material map; the shear tests treat the sample as one
// material.
void build_material_map(const ProgramSetup& setup, CellData& cd, core::TextOut& report);

// The water proportion of every cell (the shear tests first impose theirs on
// both layer materials), then the elastic, mass and friction coefficients at
// `omega`. Returns the fractions of the last cell visited.
model::CellFractions fill_coefficients(const ProgramSetup& setup, CellData& cd, model::PorosityFile& porosity_file,
                                       double omega, int cycle, core::TextOut& report);

}  // namespace drivers

// The parameter set of one run, as read from the input deck.
#pragma once

#include <cstdint>

#include "core/cell_array.hpp"

namespace core {

struct Deck {
  // Global records.
  double freq = 0;          // test frequency, Hz
  double freq_max = 0;      // upper end of the logarithmic frequency scale, Hz
  int32_t nfreq = 0;        // points of that scale
  double domain_size = 0;   // height of the sample, m
  int32_t nx = 0;           // cells along x
  int32_t ny = 0;           // cells along y
  int32_t key_model = 0;    // 0 ice (permafrost) model, 1 shaley-sand model
  int32_t model = 0;        // 0 layered sample, 1 water proportions from "porosity.frac"
  int32_t nlayers = 0;      // layer materials that follow

  // Per layer material; a layer the deck does not give holds zeros.
  ByMaterial<int32_t> nl;        // layer thickness, cells
  ByMaterial<double> akf;        // fluid bulk modulus, Pa
  ByMaterial<double> ro2;        // fluid density, kg/m3
  ByMaterial<double> eta;        // fluid viscosity, Pa s
  ByMaterial<double> ro1;        // solid-1 density, kg/m3
  ByMaterial<double> ro3;        // solid-3 density, kg/m3
  ByMaterial<double> phi_a;      // absolute porosity (ice model)
  ByMaterial<double> phi_layer1; // water proportion
  ByMaterial<double> capa_1_0;   // reference permeability, solid-1 pores, m2 (ice model)
  ByMaterial<double> capa_3_0;   // reference permeability, solid-3 pores, m2 (ice model)
  ByMaterial<double> s3;         // shale proportion (shaley-sand model)
  ByMaterial<double> rs1;        // solid-1 grain-size parameter (shaley-sand model)
  ByMaterial<double> rs3;        // solid-3 grain-size parameter (shaley-sand model)
  ByMaterial<double> coef_b13;   // solid 1 - solid 3 friction coefficient
  ByMaterial<double> ak_air;     // bulk modulus of the empty-pore phase, Pa
  ByMaterial<double> xmu_air;    // shear modulus of the empty-pore phase, Pa
  ByMaterial<double> ak_s1;      // solid-1 grain bulk modulus, Pa
  ByMaterial<double> xmu_s1;     // solid-1 grain shear modulus, Pa
  ByMaterial<double> ak_s3;      // solid-3 grain bulk modulus, Pa
  ByMaterial<double> xmu_s3;     // solid-3 grain shear modulus, Pa

  double h = 0;             // cell side, m = domain_size / ny
};

// Record layout of a deck: the nine global records in the order of Deck,
// then for each layer material nl(i) and its nineteen reals in the order of
// Deck (akf ... xmu_s3), one value per record. Records count from 1.
enum GlobalRecord : int {
  kFreqRecord = 1,
  kFreqMaxRecord,
  kNfreqRecord,
  kDomainSizeRecord,
  kNxRecord,
  kNyRecord,
  kKeyModelRecord,
  kModelRecord,
  kNlayersRecord,
};
inline constexpr int kGlobalRecords = kNlayersRecord;
inline constexpr int kRecordsPerLayer = 20;
// Place of phi_layer1(i) within layer material i's records (nl(i) is 1).
inline constexpr int kPhiLayer1InLayer = 8;

// Record number of the r-th record of layer material i.
constexpr int layer_record(int i, int r) { return kGlobalRecords + (i - 1) * kRecordsPerLayer + r; }
// Records of a deck with `nlayers` layer materials.
constexpr int deck_records(int nlayers) { return kGlobalRecords + nlayers * kRecordsPerLayer; }

}  // namespace core

// Concentration scales of a two-component solution: molality against the
// solute's mass fraction (molar mass of the salt) or mole fraction (molar
// mass of the solvent). All are plain element-wise maps.
#pragma once

#include "common/float_array.hpp"

namespace zorv::electrolyte {

FloatArray mass_fraction_to_molality(const FloatArray& mass_fraction, double molecular_weight);
FloatArray molality_to_mass_fraction(const FloatArray& molality, double molecular_weight);
FloatArray mole_fraction_to_molality(const FloatArray& mole_fraction, double molecular_weight);
FloatArray molality_to_mole_fraction(const FloatArray& molality, double molecular_weight);

}  // namespace zorv::electrolyte

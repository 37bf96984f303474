// Closed-form relations of proton hopping.
#pragma once

namespace zorv::transport {

// Mean time between proton-transfer events, tau = d^2 e^2 N / (6 k T L^3 dsigma), in s.
double tau_calculator(double experimental_conductivity, double md_conductivity,
                      double temperature, double box_length, double particle_count,
                      double hop_distance);

// Diffusion-coefficient adjustment D_hop = d^2 / (6 tau), in m^2/s.
double diffusion_adjustment(double time_between_hops, double hop_distance);

}  // namespace zorv::transport

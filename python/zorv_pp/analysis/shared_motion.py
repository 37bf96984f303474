"""The noise a species' molecules share: the flow of their periodic box.

Molecules are not independent walkers. Over long times two molecules a distance r apart move together, their
displacements correlated through the box's hydrodynamic mobility, Cov(Δr_i, Δr_j) = 2t·k_BT·T(r) with T the
periodic Oseen tensor (1/(ηV)) Σ_{k≠0} (I − k̂k̂)/k² e^{ik·r}. For Gaussian displacements
Cov(|Δr_i|², |Δr_j|²) = 2(2t k_BT)² |T(r)|², and summed over the N − 1 partners of a molecule, spread evenly
over the box (Parseval: ∫_V |T|² = 2 Z₄ L / ((2π)⁴ η²), Z₄ = Σ_{n≠0} |n|⁻⁴ over the cubic lattice), this
adds to the variance of the species' mean squared displacement the share

    R = N · 3 Z₄ / (2π² ξ²) · (D_YH / D)²,    D_YH = ξ k_BT / (6π η L)

of its independent-walker variance: D_YH is the Yeh–Hummer finite-size term, which sets how strongly the box's
long-wavelength modes move every molecule. R does not fall with N: however many molecules, their shared flow
is worth only a few walkers. The shared part grows with the same kernel of time as the independent one, so a
column of N molecules fits as 3N / (1 + R) independent walkers: the line is unchanged, its error and χ² scale.
"""

from __future__ import annotations

import math

from ..units import YEH_HUMMER_XI, UnitStyle

#: Σ_{n≠0} |n|⁻⁴ over the simple cubic lattice.
LATTICE_SUM_4 = 16.532316
#: R / (N (D_YH/D)²): the shared share of the variance per molecule, in units of the squared Yeh–Hummer ratio.
SHARED_PER_MOLECULE = 3.0 * LATTICE_SUM_4 / (2.0 * math.pi**2 * YEH_HUMMER_XI**2)


def yeh_hummer_term(style: UnitStyle, temperature: float, volume: float, viscosity: float) -> float:
    """ξ k_BT / (6π η L), in the style's diffusivity unit (NaN when any input is missing)."""
    box = float(volume ** (1.0 / 3.0))
    return YEH_HUMMER_XI * style.boltzmann * temperature / (6.0 * math.pi * viscosity * box)


def shared_variance_ratio(molecules: int, diffusion: float, yeh_hummer: float) -> float:
    """R: the variance the box's flow adds to a species' self-diffusion, over its independent-walker variance.

    0 when the Yeh–Hummer term or the value is unknown (no viscosity or volume): the walkers are then
    taken as independent, and the fit's χ² (``poor_fit``) is what shows a shared part.
    """
    ratio = yeh_hummer / diffusion if diffusion != 0.0 else math.nan
    share = SHARED_PER_MOLECULE * molecules * ratio * ratio
    return share if math.isfinite(share) and share > 0.0 else 0.0


def flow_share(molecules: int, diffusion: float, yeh_hummer: float) -> float:
    """The share s of a species' diffusivity its molecules move with together, that adds R of the box's flow.

    One walker per dimension common to the N molecules adds (N − 1)·s² to their variance, so s = √(R/(N − 1)):
    what a simulator gives its molecules for the flow the fits allow for (0 for one molecule).
    """
    if molecules < 2:
        return 0.0
    return math.sqrt(shared_variance_ratio(molecules, diffusion, yeh_hummer) / (molecules - 1))

"""Walks through what _zorv_pp does, on bundled sample data.

Runs every examples/demo_<topic>.py module's run(out_dir) in order of name,
after the proton-hopping example below.
"""

import importlib
import pathlib
import sys

import _zorv_pp


def proton_hopping():
    print("Proton hopping")
    sigma_exp, sigma_md = 60.0, 40.0  # S/m: experiment vs MD without hopping
    temperature, box, count, hop = 300.0, 3e-9, 100.0, 2.5e-10
    tau = _zorv_pp.tau_calculator(sigma_exp, sigma_md, temperature, box, count, hop)
    d_hop = _zorv_pp.diffusion_adjustment(tau, hop)
    print(
        f"  conductivity gap {sigma_exp - sigma_md:.1f} S/m, {count:.0f} ions in a {box * 1e9:.1f} nm box "
        f"at {temperature:.0f} K"
    )
    print(f"  mean time between hops tau = {tau:.3e} s")
    print(f"  diffusion adjustment D_hop = {d_hop:.3e} m^2/s for hops of {hop * 1e10:.1f} Angstrom")


def main(argv):
    out_dir = pathlib.Path(argv[1] if len(argv) > 1 else ".")
    out_dir.mkdir(parents=True, exist_ok=True)
    print(f"_zorv_pp: {len(_zorv_pp.__all__)} functions")
    proton_hopping()
    here = pathlib.Path(__file__).resolve().parent
    sys.path.insert(0, str(here))
    results = {}
    for path in sorted(here.glob("demo_*.py")):
        print()
        results[path.stem] = importlib.import_module(path.stem).run(out_dir)
    import figure

    picture = figure.draw(out_dir / "zorv_demo.png", results["demo_transport"]["fit"], results["demo_electrolyte"])
    print()
    print(f"figure: {picture}" if picture else "figure: matplotlib is not installed, none drawn")


if __name__ == "__main__":
    main(sys.argv)

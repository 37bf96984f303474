"""Reading the files an MD run leaves behind: transport tables, fix ave/time
and fix ave/histo output, volume and density files, and a LAMMPS log."""

import pathlib

import _zorv_pp

DATA = pathlib.Path(__file__).resolve().parent / "data"


def describe_table(title, table):
    rows = len(next(iter(table.values()), []))
    print(f"  {title}: {len(table)} columns x {rows} rows")
    for name, values in table.items():
        print(f"    {name:12s} first {values[0]:<12.6g} last {values[-1]:<12.6g}" if values else f"    {name} (empty)")


def run(out_dir):
    print("Simulation output readers")
    describe_table("diffself_koh.dat (MSD per species)", _zorv_pp.parse_zorv_file(str(DATA / "diffself_koh.dat")))
    describe_table("rdf.dat (header on line 0)", _zorv_pp.parse_zorv_file(str(DATA / "rdf.dat")))
    describe_table("nvt_prod.dat (thermodynamic properties)", _zorv_pp.parse_thermoprop(str(DATA / "nvt_prod.dat")))
    angles = _zorv_pp.parse_bond_angle(str(DATA / "npt_prod_angle.dat"))
    peak = max(range(len(angles["Count"])), key=angles["Count"].__getitem__)
    print(
        f"  npt_prod_angle.dat: {len(angles['Bin'])} bins, most common angle {angles['Coord'][peak]:g} degrees "
        f"({angles['Count/Total'][peak]:.1%} of {sum(angles['Count']):.0f} angles)"
    )
    for name in ("volume.dat", "density.dat"):
        print(f"  {name}: first value {_zorv_pp.parse_volume_density(str(DATA / name))}")
    log = str(DATA / "log.lammps")
    counts = {group: _zorv_pp.read_group_count(log, group) for group in ("K", "OH", "water", "ions")}
    print("  log.lammps group sizes: " + ", ".join(f"{g} {n}" for g, n in counts.items()))
    try:
        _zorv_pp.read_group_count(log, "Na")
    except ValueError as error:
        print(f"  asking for a group the log lacks: ValueError: {error}")
    summary = pathlib.Path(out_dir) / "readers_summary.txt"
    summary.write_text("".join(f"{g} {n}\n" for g, n in counts.items()))
    print(f"  group sizes written to {summary}")

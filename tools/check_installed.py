"""The installed zorv-pp command on real runs and on damaged copies of them, outside the clone.

    /usr/bin/python3 tools/check_installed.py ZORV_PP

ZORV_PP is the installed launcher. The runs are the bundled example run and,
when ../shared is there, the real water-methanol and Lennard-Jones runs; each
is copied into a scratch folder and damaged as a new user met it (issue 21):
neutral charges, a folder given twice or copied, a finer RDF grid, a density
unit that contradicts the data, a count for one species or for none, a bad
density unit, an output folder that cannot be written. Every case checks the
exit status and what the command says. Standard library only: this runs
under the interpreter the package was installed for, but does not import it.
"""

import csv
import json
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
RUNS = {
    "bundled": ROOT / "examples" / "campaign" / "m2.0_T298" / "rep1",
    "water-methanol": ROOT.parent / "shared" / "data" / "zorv-runs" / "water-methanol",
    "lj": ROOT.parent / "shared" / "data" / "zorv-runs" / "lj",
}


class Check:
    def __init__(self, command, scratch):
        self.command, self.scratch, self.failed, self.count = command, scratch, [], 0

    def run(self, name, arguments, status, *, out=None, err=None, quiet_stdout=False, then=None):
        """Run zorv-pp with ``arguments`` in the scratch folder; check its status and output."""
        self.count += 1
        done = subprocess.run([self.command, "analyze", *arguments], cwd=self.scratch, capture_output=True, text=True)
        problems = []
        if done.returncode != status:
            problems.append(f"exit status {done.returncode}, expected {status}")
        for stream, wanted in (("stdout", out), ("stderr", err)):
            for text in wanted or ():
                if text not in getattr(done, stream):
                    problems.append(f"{stream} lacks {text!r}")
        if "Traceback" in done.stderr:
            problems.append("a traceback on stderr")
        if quiet_stdout and any(
            not line.startswith(("results:", "figures:", "report:")) for line in done.stdout.splitlines()
        ):
            problems.append("--quiet printed more than where the files went")
        if then is not None and not problems:
            try:
                then()
            except AssertionError as error:
                problems.append(f"results: {error}")
        if problems:
            self.failed.append(name)
            print(
                f"FAIL {name}: zorv-pp analyze {' '.join(arguments)}: {'; '.join(problems)}\n"
                f"  stdout: {done.stdout[-2000:]}\n  stderr: {done.stderr[-2000:]}",
                file=sys.stderr,
            )
        else:
            print(f"ok   {name}")


def species_of(run):
    """The species of a run's self-diffusion table, from its header."""
    lines = (run / "diffself.dat").read_text().splitlines()
    header = next(line for line in reversed(lines) if line.lstrip().startswith("#Time"))
    return [word[len("MSD__") :] for word in header.replace("#", "").split() if word.startswith("MSD__")]


def rows(out):
    with open(Path(out) / "results.csv", newline="") as stream:
        return {(row["property"], row["species"]): row for row in csv.DictReader(stream)}


def finer_rdf(source, target, factor=10):
    """rdf.dat resampled onto ``factor`` times finer bins by linear interpolation: the same curve."""
    lines = source.read_text().splitlines()
    header, data = lines[0], [[float(v) for v in line.split()] for line in lines[1:] if line.strip()]
    step = data[1][0] - data[0][0]
    out = [header]
    for k in range(len(data) * factor):
        r = (k + 0.5) * step / factor
        i = min(max(int((r - data[0][0]) / step), 0), len(data) - 2)
        w = (r - data[i][0]) / step
        out.append(
            " ".join([f"{r:.8g}"] + [f"{(1 - w) * a + w * b:.8g}" for a, b in zip(data[i][1:], data[i + 1][1:])])
        )
    target.write_text("\n".join(out) + "\n")


def check_run(check, label, source):
    base = check.scratch / label
    run = base / "run"
    shutil.copytree(source, run)
    species = species_of(run)
    out = lambda name: str(base / f"out-{name}")  # noqa: E731
    check.run(
        f"{label}: analysed",
        [str(run), "--out", out("plain")],
        0,
        out=["state ", "results:", "report:"],
        then=lambda: rows(out("plain")),
    )
    check.run(f"{label}: --quiet", [str(run), "--out", out("quiet"), "--no-figures", "--quiet"], 0, quiet_stdout=True)
    charges = [a for name in species for a in ("--charge", f"{name}=0")]

    def neutral():
        sigma = rows(out("neutral")).get(("electrical_conductivity", ""))
        assert sigma is not None and float(sigma["mean"]) == 0.0, sigma

    check.run(
        f"{label}: neutral species", [str(run), *charges, "--out", out("neutral"), "--no-figures"], 0, then=neutral
    )
    check.run(
        f"{label}: a folder given twice",
        [str(run), str(run), "--out", out("twice"), "--no-figures"],
        2,
        err=["given twice"],
    )
    shutil.copytree(run, base / "copy")

    def counted_once():
        counts = {row["count"] for key, row in rows(out("copy")).items() if key[0] == "self_diffusion_pbc"}
        assert counts == {"1"}, counts

    check.run(
        f"{label}: a copy of the folder",
        [str(run), str(base / "copy"), "--out", out("copy"), "--no-figures"],
        0,
        err=["[duplicate_run]"],
        then=counted_once,
    )
    plain = rows(out("plain")) if (Path(out("plain")) / "results.csv").is_file() else {}

    def others_unchanged():
        found = rows(out("count"))
        for name in species[1:]:
            key = ("self_diffusion_pbc", name)
            assert found[key]["mean"] == plain[key]["mean"], (key, found[key]["mean"], plain[key]["mean"])

    check.run(
        f"{label}: --count for one species",
        [str(run), "--count", f"{species[0]}=1", "--out", out("count"), "--no-figures"],
        0,
        then=others_unchanged,
    )
    check.run(
        f"{label}: --count for no species",
        [str(run), "--count", "nosuchspecies=250", "--out", out("none"), "--no-figures"],
        2,
        err=[", ".join(species)],
    )
    check.run(
        f"{label}: a bad density unit",
        [str(run), "--density-unit", "lb/ft3", "--out", out("unit")],
        2,
        err=["kg/m3", "g/cm3"],
    )
    Path(out("a-file")).write_text("")
    check.run(
        f"{label}: an output folder that cannot be written",
        [str(run), "--out", out("a-file/results")],
        2,
        err=["out-a-file/results"],
    )
    if (run / "density.dat").is_file():
        values = [
            float(line.split()[1])
            for line in (run / "density.dat").read_text().splitlines()
            if line.strip() and not line.lstrip().startswith("#")
        ]
        wrong = "kg/m3" if sum(values) / len(values) < 30.0 else "g/cm3"  # the unit the file is not in
        check.run(
            f"{label}: a stated density unit the data contradict",
            [str(run), "--density-unit", wrong, "--out", out("density"), "--no-figures"],
            0,
            err=["[implausible_density]"],
        )
    if (run / "rdf.dat").is_file():
        fine = base / "fine" / "run"
        shutil.copytree(run, fine)
        finer_rdf(run / "rdf.dat", fine / "rdf.dat")

        def same_shell():
            for key, row in rows(out("fine-results")).items():
                if key[0] in ("rdf_peak_position", "coordination_number") and row["mean"] != "nan":
                    coarse = float(plain[key]["mean"])
                    tolerance = 2e-12 if key[0] == "rdf_peak_position" else 0.01 * abs(coarse)
                    assert abs(float(row["mean"]) - coarse) <= tolerance, (key, row["mean"], coarse)

        check.run(
            f"{label}: an RDF on ten times finer bins",
            [str(fine), "--out", out("fine-results"), "--no-figures"],
            0,
            then=same_shell,
        )
    if label == "lj":

        def reduced_volume():
            document = json.loads((Path(out("lj")) / "results.json").read_text())
            found = {(r["property"], r["species"]): r for r in document["rows"]}
            assert (found.get(("volume", "")) or {}).get("mean"), "no volume"
            assert all(r["mean"] is not None for k, r in found.items() if k[0] == "self_diffusion"), "no Yeh-Hummer D"

        check.run(
            "lj: the volume from the log, the Yeh-Hummer D in reduced units",
            [str(run), "--out", out("lj"), "--no-figures"],
            0,
            then=reduced_volume,
        )


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    command = shutil.which(sys.argv[1])
    if command is None:
        sys.exit(f"check_installed: no command {sys.argv[1]}")
    with tempfile.TemporaryDirectory() as scratch:
        check = Check(command, Path(scratch))
        for label, source in RUNS.items():
            if source.is_dir():
                check_run(check, label, source)
            else:
                print(f"skip {label}: {source} is not there")
    if check.failed:
        sys.exit(f"check_installed: {len(check.failed)} of {check.count} cases failed: {', '.join(check.failed)}")
    print(f"check_installed: all {check.count} cases passed")


if __name__ == "__main__":
    main()

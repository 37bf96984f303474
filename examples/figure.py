"""The demo's figure: the MSD fit and KOH conductivity, side by side."""

ANGSTROM2_PER_PS = 1e-8  # in m^2/s


def draw(path, msd, koh):
    """msd: dict with time, msd, t_fit, fit, slope, name; koh: dict with molalities and
    curves {temperature: conductivities}. Returns the path, or None without matplotlib."""
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return None
    fig, (left, right) = plt.subplots(1, 2, figsize=(12.0, 4.8))

    left.loglog(msd["time"], msd["msd"], color="0.35", lw=1.2, label=f"MSD, {msd['name']}")
    left.axvspan(msd["t_fit"][0], msd["t_fit"][-1], color="tab:blue", alpha=0.15, label="chosen window")
    d = msd["slope"] / 6.0 * ANGSTROM2_PER_PS
    left.loglog(
        msd["t_fit"], msd["fit"], color="tab:red", lw=2.0, ls="--", label=f"linear fit: D = slope/6 = {d:.3e} m²/s"
    )
    left.set_xlabel("time (ps)")
    left.set_ylabel("MSD (Å²)")
    left.set_title("Water self-diffusion: automatic window fit")
    left.legend(loc="upper left")

    for temperature, sigma in koh["curves"].items():
        right.plot(koh["molalities"], sigma, lw=1.8, label=f"{temperature:.2f} K ({temperature - 273.15:.0f} °C)")
    right.set_xlabel("molality (mol/kg)")
    right.set_ylabel("conductivity σ (S/m)")
    right.set_title("KOH(aq) conductivity, Gilliam model")
    right.legend(loc="best")
    right.grid(alpha=0.3)

    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)
    return path

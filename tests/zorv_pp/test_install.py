"""The README's install command and the root's setup, run into temporary folders (issue 21, items 13 and 15)."""

import os
import pathlib
import shutil
import subprocess
import sys

import pytest

import _zorv_pp

ROOT = pathlib.Path(__file__).resolve().parents[2]
pytestmark = [
    pytest.mark.skipif(shutil.which("bash") is None, reason="needs bash"),
    # A sanitized module loads only with its runtime preloaded, which a clean environment drops.
    pytest.mark.skipif(bool(os.environ.get("LD_PRELOAD")), reason="the sanitized module needs LD_PRELOAD"),
]


@pytest.fixture(scope="module")
def installed(tmp_path_factory):
    """bash tools/install.sh for this interpreter and module, into a temporary prefix, launcher and site folder."""
    scratch = tmp_path_factory.mktemp("install")
    # The interpreter by name, as `PYTHON=python3.11 bash tools/install.sh` gives it.
    interpreter = pathlib.Path(sys.executable)
    env = dict(
        os.environ,
        PATH=f"{interpreter.parent}:{os.environ.get('PATH', '/usr/bin:/bin')}",
        PYTHON=interpreter.name,
        ZORV_MODULE=_zorv_pp.__file__,
        ZORV_PREFIX=str(scratch / "lib" / "zorv_pp"),
        ZORV_BINDIR=str(scratch / "bin"),
        ZORV_SITE_DIR=str(scratch / "site"),
    )
    done = subprocess.run(["bash", str(ROOT / "tools" / "install.sh")], env=env, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return scratch, done.stderr


def test_import_zorv_pp_works_through_the_installed_pth_file(installed):
    scratch, _ = installed
    assert (scratch / "site" / "zorv_pp.pth").read_text().strip() == str(scratch / "lib" / "zorv_pp")
    # A clean environment: no PYTHONPATH, run from the root folder; the site folder read as at start-up.
    code = (
        "import site, sys; site.addsitedir(sys.argv[1]); import zorv_pp, _zorv_pp; "
        "print(zorv_pp.__file__); print(_zorv_pp.__file__)"
    )
    done = subprocess.run(
        ["env", "-i", sys.executable, "-c", code, str(scratch / "site")], cwd="/", capture_output=True, text=True
    )
    assert done.returncode == 0, done.stderr
    assert all(line.startswith(str(scratch / "lib" / "zorv_pp")) for line in done.stdout.splitlines())


def test_the_default_site_folder_is_read_at_start_up():
    # Without ZORV_SITE_DIR the .pth file goes into the interpreter's first site folder: one that it
    # reads when it starts, once it exists.
    code = (
        "import os, site, sys; folder = site.getsitepackages()[0]; "
        "sys.exit(0 if folder in sys.path or not os.path.isdir(folder) else 1)"
    )
    assert subprocess.run(["env", "-i", sys.executable, "-c", code], cwd="/").returncode == 0


def test_the_launcher_keeps_its_interpreter_whatever_python3_comes_first(installed, tmp_path):
    scratch, _ = installed
    shims = tmp_path / "shims"
    shims.mkdir()
    for name in ("python3", "python", pathlib.Path(sys.executable).name):  # a pyenv that has no numpy
        (shims / name).write_text("#!/bin/sh\necho 'not this python' >&2\nexit 1\n")
        (shims / name).chmod(0o755)
    env = {"PATH": f"{shims}:{os.environ.get('PATH', '/usr/bin:/bin')}", "HOME": str(tmp_path)}
    done = subprocess.run([str(scratch / "bin" / "zorv-pp"), "--version"], env=env, capture_output=True, text=True)
    assert done.returncode == 0 and done.stdout.startswith("zorv-pp "), done.stderr


def test_the_uninstall_line_removes_everything(installed, tmp_path):
    scratch, stderr = installed
    line = next(line for line in stderr.splitlines() if line.startswith("uninstall: "))
    copy = tmp_path / "copy"
    shutil.copytree(scratch, copy, symlinks=True)
    subprocess.run(line[len("uninstall: ") :].replace(str(scratch), str(copy)), shell=True, check=True)
    left = sorted(str(p.relative_to(copy)) for p in copy.rglob("*") if not p.is_dir())
    assert left == []


def fake_tools(folder, apt_fails):
    """debootstrap and unshare that print as much as the real ones, and fail as the real debootstrap does
    when asked for every package at once."""
    folder.mkdir()
    (folder / "debootstrap").write_text(
        '#!/bin/bash\nfor i in $(seq 1 500); do echo "I: Retrieving package $i"; done\n'
        'if [[ "$*" == *--include* ]]; then echo "W: Failure while configuring base packages" >&2; exit 1; fi\n'
        'target=${@: -2:1}; mkdir -p "$target/usr/bin" "$target/etc/apt"\n'
        'printf "#!/bin/sh\\n" > "$target/usr/bin/apt-get"; chmod +x "$target/usr/bin/apt-get"\n'
    )
    (folder / "unshare").write_text(
        '#!/bin/bash\nfor i in $(seq 1 500); do echo "Selecting previously unselected package p$i"; done\n'
        + ('echo "E: Unable to locate package python3.14-dev" >&2; exit 100\n' if apt_fails else "exit 0\n")
    )
    for tool in folder.iterdir():
        tool.chmod(0o755)


@pytest.mark.parametrize("apt_fails", [False, True])
def test_setting_up_the_root_prints_a_line_per_stage_and_keeps_the_rest_in_a_log(tmp_path, apt_fails):
    fake_tools(tmp_path / "bin", apt_fails)
    env = dict(
        os.environ, PATH=f"{tmp_path / 'bin'}:{os.environ['PATH']}", ZORV_SID_ROOT=str(tmp_path / "cache" / "sid")
    )
    env.pop("ZORV_SETUP_LOG", None)
    done = subprocess.run(
        ["bash", str(ROOT / "tools" / "sid-root.sh"), "ensure"], env=env, capture_output=True, text=True
    )
    log = tmp_path / "cache" / "setup.log"
    assert "W: Failure while configuring base packages" in log.read_text()
    assert "Selecting previously unselected package p500" in log.read_text()
    lines = done.stderr.splitlines()
    if not apt_fails:
        assert done.returncode == 0 and done.stdout == ""
        assert len(lines) <= 6 and all(line.startswith("sid-root: ") for line in lines), done.stderr
        assert str(log) in lines[0] and "W: Failure" not in done.stderr
    else:  # the failing stage says so, and the log's tail shows why
        assert done.returncode != 0
        assert "E: Unable to locate package python3.14-dev" in done.stderr and len(lines) < 60

"""Wine prefixes for the Windows build's scenario tests.

A template prefix is booted once (wineboot takes tens of seconds); every scenario then gets a
fresh prefix made from it: the large, read-only system folders are hard-linked, the registry
files and everything the scenario adds are real copies, so no scenario sees another's state.
"""

import os
import shutil
import subprocess
import tempfile
from pathlib import Path

WINE_ENV = {"WINEARCH": "win64", "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="}
# Debian's `wine` starts the 32-bit loader, which runs the 32-bit builds of Wine's own tools too;
# the registry tools must be the 64-bit ones so that WOW6432Node in a .reg file means the 32-bit
# view (Wine's 32-bit regedit would nest a second WOW6432Node under it).
WINE64 = "/usr/lib/wine/wine64" if Path("/usr/lib/wine/wine64").exists() else "wine64"


class WineError(RuntimeError):
    pass


def wine_env(prefix):
    env = dict(os.environ)
    env.update(WINE_ENV)
    env["WINEPREFIX"] = str(prefix)
    env.pop("DISPLAY", None)  # no window may open: wine falls back to its null driver
    return env


def run_wine(prefix, args, timeout=120, cwd=None, loader="wine"):
    """Runs `wine <args>` in the prefix; returns the completed process (never raises on exit code).

    The output goes to files, not pipes: Wine's service processes started by the first command
    inherit the descriptors and outlive it, so reading a pipe to its end would wait for them."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        try:
            done = subprocess.run([loader, *map(str, args)], env=wine_env(prefix), cwd=cwd, timeout=timeout,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        except FileNotFoundError as exc:
            raise WineError("wine is not installed (./dev installs wine32 and wine64)") from exc
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(done.args, done.returncode, out.read(), err.read())


def stop_server(prefix):
    subprocess.run(["wineserver", "-k"], env=wine_env(prefix), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    subprocess.run(["wineserver", "-w"], env=wine_env(prefix), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False, timeout=60)


def wait_server(prefix):
    subprocess.run(["wineserver", "-w"], env=wine_env(prefix), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False, timeout=120)


def start_server(prefix):
    """Keeps the prefix's wineserver running between the commands of a scenario (each command
    would otherwise wait for a new one)."""
    subprocess.run(["wineserver", "-p"], env=wine_env(prefix), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)


def make_template(path):
    """Boots a new prefix at `path` with Wine's own defaults."""
    path = Path(path)
    if path.exists():
        shutil.rmtree(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    try:
        boot = subprocess.run(["wineboot", "-i"], env=wine_env(path), timeout=300, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except FileNotFoundError as exc:
        raise WineError("wineboot is not installed (./dev installs wine32 and wine64)") from exc
    wait_server(path)
    if boot.returncode != 0 or not (path / "system.reg").exists():
        raise WineError(f"wineboot could not create the prefix {path} (exit {boot.returncode})")
    return path


def set_windows_version(prefix, version):
    """The version Wine reports, as winecfg sets it ("win10", "win7", ...)."""
    done = run_wine(prefix, ["reg", "add", r"HKCU\Software\Wine", "/v", "Version", "/t", "REG_SZ", "/d", version, "/f"],
                    loader=WINE64)
    if done.returncode != 0:
        raise WineError(f"could not set the Windows version of {prefix}")


def fresh_prefix(template, path):
    """A new prefix at `path` with the template's state."""
    template, path = Path(template), Path(path)
    if path.exists():
        shutil.rmtree(path)
    subprocess.run(["cp", "-al", str(template), str(path)], check=True)
    for reg in ("system.reg", "user.reg", "userdef.reg"):
        target = path / reg
        target.unlink()
        shutil.copy2(template / reg, target)
    return path


def drive_c(prefix):
    return Path(prefix) / "drive_c"


def import_registry(prefix, reg_file):
    """Imports a .reg file (REGEDIT4 or version 5) with regedit, as an administrator would."""
    # regedit resolves the file name as a Windows path; Z: maps the host's root.
    windows_name = "Z:" + str(Path(reg_file).resolve()).replace("/", "\\")
    done = run_wine(prefix, ["regedit", "/s", windows_name], loader=WINE64)
    if done.returncode != 0:
        raise WineError(f"regedit could not import {reg_file}: {done.stderr.decode(errors='replace')}")


def export_registry(prefix, key, out_file):
    """Exports `key` with its subkeys to `out_file` (UTF-16 .reg as regedit writes it)."""
    windows_name = "Z:" + str(Path(out_file).resolve()).replace("/", "\\")
    done = run_wine(prefix, ["regedit", "/e", windows_name, key], loader=WINE64)
    if done.returncode != 0 or not Path(out_file).exists():
        raise WineError(f"regedit could not export {key}")
    return Path(out_file)

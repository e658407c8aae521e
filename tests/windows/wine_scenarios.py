#!/usr/bin/env python3
"""Runs the example machines that Wine can represent through both builds of the prereq tool and
compares exit code, log lines and registry writes.

For each scenario a fresh Wine prefix gets the machine's registry (regedit /s) and its files;
the Windows build runs there against Wine's own registry, WMI and network API. The facts Wine
reports for that computer (version, edition, name, domain, adapters) are read by machine_facts.exe
and written as the machine.json of a machine folder with the same registry and files, on which
the Linux build runs against the stand-in. Any difference is a fidelity fault of the stand-in (or
of code that leans on it).
"""

import argparse
import functools
import json
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import reg_text  # noqa: E402
import wine_prefix  # noqa: E402

LOG_REL = Path("Program Files (x86)") / "Harborline" / "Agent" / "logs" / "hlprereqhandler.log"

# (example machine, options, how Wine is told the version). Left out: machines whose facts Wine
# cannot hold: products listed in Win32_Product (Wine's installer database is empty), the
# Security Center's antivirus list (Wine has no root\SecurityCenter2) and a Defender client
# library. Wine 8 knows Windows 10 only as a workstation (winecfg's "win10"); a server is
# described in its registry (version text and ProductType), which Wine reads when no version is
# configured, so the servers run as Windows Server 2012 R2 (6.3.9600).
SCENARIOS = [
    ("no-agent", [], "win10"),
    ("workstation-compatible", [], "win10"),
    ("workstation-no-compat-value", [], "win10"),
    ("server-2016-compatible", [], "server-6.3.9600"),
    ("server-no-antivirus", [], "server-6.3.9600"),
    ("server-no-antivirus", ["-p", "KB5005565", "-l", "Windows", "-s", "1", "-c", "abc"], "server-6.3.9600"),
    # No resource ID in the registry: both builds ask the loopback server for it over HTTP, the
    # Windows one through Wine's WinHTTP.
    ("workstation-compatible", [], "win10", "resource-id"),
]

RESOURCE_ID = "4f1c9b2e-7a3d-4c55-9e0b-2d6f8a1c3e47"


class DocumentServer:
    """A loopback HTTP server that answers every request for a resource document with `document`
    and records the paths asked for."""

    def __init__(self, document):
        import http.server
        import threading
        paths = self.paths = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):  # noqa: N802 - the server's naming
                paths.append(self.path)
                found = "/resources/" in self.path and self.path.endswith(".xml")
                body = document if found else b"not here"
                self.send_response(200 if found else 404)
                self.send_header("Content-Type", "text/xml")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


def without_resource_id(machine, work, port):
    """A copy of `machine` whose registry lacks the resource ID and names the loopback server."""
    copy = work / "source"
    shutil.copytree(machine, copy)
    text = (copy / "registry.reg").read_text()
    text = re.sub(r'"HLAgentResourceID"="[^"]*"\r?\n', "", text)
    for name in ("hlserver.contoso.example", "HLSERVER", "10.20.0.15", "10.20.0.16"):
        text = text.replace(f'="{name}"', '="127.0.0.1"')
    text = re.sub(r'"HLServerPort"="\d+"', f'"HLServerPort"="{port}"', text)
    text = text.replace('"HLServerProtocol"="https"', '"HLServerProtocol"="http"')
    (copy / "registry.reg").write_text(text)
    return copy

# What Wine's WMI holds for these machines: the installer's products (none) and no Security Center.
WINE_WMI = {"root\\CIMV2": {"Win32_Product": []}}

# Registry parts the tool may write; compared as changes between before and after the run.
WATCHED_KEYS = [
    r"HKEY_LOCAL_MACHINE\SOFTWARE",
    r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager\Memory Management",
]

# "[ <time> ] [ <thread> ] ": also inside a line, after a message that has no line break.
_STAMP = re.compile(r"\[ \d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} \] \[ \d+ \] ")

# Where Wine itself answers otherwise than Windows does; the Windows build's lines are brought to
# what Windows would have logged before the comparison. Each is listed in the README.
WINE_DIFFERENCES = [
    # FormatMessage's text for ERROR_SUCCESS in Wine's message table.
    (re.compile(r"^(\[INFO\] Message : )Success\.  $"), r"\1The operation completed successfully.  "),
    # GetComputerName gives the host name as it is; Windows gives the NetBIOS name, in capitals.
    (re.compile(r"^(.*(?:Computer Name\s*(?::|->)|gv_localComputerName:|localComputerLwr:) )(\S+)( ?)$"),
     lambda m: m.group(1) + m.group(2).upper() + m.group(3)),
    # DsGetDcName is not implemented (120); outside a domain Windows answers ERROR_NO_SUCH_DOMAIN.
    (re.compile(r"^(\[ERROR\] GetComputerLogonServer: Error while fetching DC name! )120 $"), r"\g<1>1355 "),
]
# DeleteTimerQueueEx without a completion event reports ERROR_IO_PENDING in Wine even when no
# callback is running; Windows deletes the queue and succeeds.
WINE_ONLY_LINES = [
    "[ERROR] ServiceMain : DeleteTimerQueue is failed due to following error !! ",
    "[ERROR] Error Code : 997 , Error Message : Overlapped I/O pending.  ",
]


print = functools.partial(print, flush=True)  # noqa: A001 - progress shows while CTest runs it


def log_lines(path):
    """The log's lines without time stamps and thread ids, and without the open/close stamps."""
    if not Path(path).exists():
        return ["<no log written>"]
    # Read as a text-mode reader would: "\r\n" is a line end, a lone "\r" is text.
    text = Path(path).read_bytes().decode("utf-8", errors="replace").replace("\r\n", "\n")
    lines = []
    for line in text.split("\n")[:-1] if text.endswith("\n") else text.split("\n"):
        if line.startswith("Log open time:") or line.startswith("Log close time:"):
            continue
        line = _STAMP.sub("", line)
        # What differs from run to run: the server's clock and temporary names made of thread ids.
        line = re.sub(r"^Date: .*", "Date: <date>", line)
        line = re.sub(r"\\hl\d+\.tmp", r"\\hl<thread>.tmp", line)
        lines.append(line)
    return lines


def as_windows_would_log(lines):
    out = []
    for line in lines:
        if line in WINE_ONLY_LINES:
            continue
        for pattern, replacement in WINE_DIFFERENCES:
            line = pattern.sub(replacement, line)
        out.append(line)
    return out


def copy_tree(source, target):
    if source.exists():
        shutil.copytree(source, target, dirs_exist_ok=True)


def wine_registry(prefix, out_dir, tag):
    state = {}
    for i, key in enumerate(WATCHED_KEYS):
        out = out_dir / f"{tag}-{i}.reg"
        try:
            state.update(reg_text.read(wine_prefix.export_registry(prefix, key, out)))
        except wine_prefix.WineError:
            pass  # the key does not exist (yet)
    return state


def machine_facts(prefix, windows_bin):
    done = wine_prefix.run_wine(prefix, [windows_bin / "machine_facts.exe"])
    if done.returncode != 0:
        raise wine_prefix.WineError(f"machine_facts.exe failed: {done.stderr.decode(errors='replace')}")
    return json.loads(done.stdout.decode("utf-8"))


def server_version_reg(version, out):
    """A .reg describing a server of `version` ("6.3.9600") in both registry views."""
    major_minor, build = version.rsplit(".", 1)
    text = "Windows Registry Editor Version 5.00\r\n"
    for view in (r"SOFTWARE", r"SOFTWARE\WOW6432Node"):
        text += (f"\r\n[HKEY_LOCAL_MACHINE\\{view}\\Microsoft\\Windows NT\\CurrentVersion]\r\n"
                 f'"CurrentVersion"="{major_minor}"\r\n"CurrentBuild"="{build}"\r\n'
                 f'"CurrentBuildNumber"="{build}"\r\n"CSDVersion"=-\r\n')
    text += ("\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Windows]\r\n"
             '"CSDVersion"=dword:00000000\r\n'
             "\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions]\r\n"
             '"ProductType"="ServerNT"\r\n')
    out.write_text(text)
    return out


def run_windows(template, machine, options, version, windows_bin, work):
    prefix = wine_prefix.fresh_prefix(template, work / "prefix")
    wine_prefix.start_server(prefix)
    if version.startswith("server-"):
        wine_prefix.import_registry(prefix, server_version_reg(version[len("server-"):], work / "version.reg"))
    else:
        wine_prefix.set_windows_version(prefix, version)
    copy_tree(machine / "drive_c", wine_prefix.drive_c(prefix))
    if (machine / "registry.reg").exists():
        wine_prefix.import_registry(prefix, machine / "registry.reg")
    facts = machine_facts(prefix, windows_bin)
    before = wine_registry(prefix, work, "before")
    tool = prefix / "drive_c" / "hlprereqhandler.exe"
    shutil.copy2(windows_bin / "hlprereqhandler.exe", tool)
    done = wine_prefix.run_wine(prefix, [r"C:\hlprereqhandler.exe", *options], timeout=300)
    after = wine_registry(prefix, work, "after")
    result = {
        "exit": done.returncode & 0xFF,
        "log": as_windows_would_log(log_lines(wine_prefix.drive_c(prefix) / LOG_REL)),
        "writes": reg_text.writes(before, after),
        "facts": facts,
    }
    wine_prefix.stop_server(prefix)
    return result


def run_linux(machine, facts, options, linux_bin, work):
    folder = work / "machine"
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    copy_tree(machine / "drive_c", folder / "drive_c")
    (folder / "drive_c").mkdir(exist_ok=True)
    registry = machine / "registry.reg"
    if registry.exists():
        shutil.copy2(registry, folder / "registry.reg")
    described = dict(facts)
    described["wmi"] = WINE_WMI
    (folder / "machine.json").write_text(json.dumps(described, indent=2))
    before = reg_text.read(folder / "registry.reg") if registry.exists() else {}
    env = dict(os.environ, HL_MACHINE=str(folder))
    done = subprocess.run([str(linux_bin / "hlprereqhandler"), *options], env=env, timeout=300,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    after = reg_text.read(folder / "registry.reg") if (folder / "registry.reg").exists() else {}
    watched = [reg_text.normal_key(k) for k in WATCHED_KEYS]
    changes = [c for c in reg_text.writes(before, after) if any(c[0].startswith(w) for w in watched)]
    return {"exit": done.returncode & 0xFF, "log": log_lines(folder / "drive_c" / LOG_REL), "writes": changes}


def implicit_keys_only(changes):
    """Key creations alone differ by design: the stand-in's file lists parents of created keys."""
    return [c for c in changes if c[1] != "<key created>"]


def compare(name, win, lin):
    problems = []
    if win["exit"] != lin["exit"]:
        problems.append(f"exit code: Windows {win['exit']}, Linux {lin['exit']}")
    if win["log"] != lin["log"]:
        import difflib
        diff = "\n".join(difflib.unified_diff(win["log"], lin["log"], "windows", "linux", lineterm="", n=1))
        problems.append("log lines differ:\n" + diff)
    w, l = implicit_keys_only(win["writes"]), implicit_keys_only(lin["writes"])
    if w != l:
        problems.append("registry writes differ:\n  Windows: " + repr(w) + "\n  Linux:   " + repr(l))
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--windows-bin", required=True, type=Path, help="folder of hlprereqhandler.exe")
    parser.add_argument("--linux-bin", required=True, type=Path, help="folder of the Linux hlprereqhandler")
    parser.add_argument("--machines", required=True, type=Path, help="the example machines")
    parser.add_argument("--work", required=True, type=Path, help="scratch folder (emptied)")
    parser.add_argument("--only", help="run only the scenarios of this machine")
    parser.add_argument("--keep", action="store_true", help="keep the prefixes and machine folders")
    args = parser.parse_args()

    for needed in (args.windows_bin / "hlprereqhandler.exe", args.windows_bin / "machine_facts.exe",
                   args.linux_bin / "hlprereqhandler"):
        if not needed.exists():
            print(f"wine_scenarios: missing {needed} (build the windows and default presets first)")
            return 2
    if args.work.exists():
        shutil.rmtree(args.work)
    args.work.mkdir(parents=True)

    started = time.time()
    try:
        template = wine_prefix.make_template(args.work / "template")
        wine_prefix.stop_server(template)
    except wine_prefix.WineError as exc:
        print(f"wine_scenarios: FAILED: could not prepare Wine: {exc}")
        return 1
    print(f"wine_scenarios: template prefix ready in {time.time() - started:.0f} s")

    failures = 0
    document = (args.machines.parent / "tessera" / "data" / "agentparams_resource_id.xml").read_bytes()
    for index, (machine_name, options, version, *extra) in enumerate(SCENARIOS):
        if args.only and machine_name != args.only:
            continue
        label = machine_name + (" " + " ".join(options) if options else "") + (" " + " ".join(extra) if extra else "")
        work = args.work / f"{index}-{machine_name}"
        work.mkdir()
        t0 = time.time()
        machine = args.machines / machine_name
        server = DocumentServer(document) if "resource-id" in extra else None
        try:
            if server:
                machine = without_resource_id(machine, work, server.port)
            win = run_windows(template, machine, options, version, args.windows_bin, work)
            asked_by_windows = len(server.paths) if server else 0
            lin = run_linux(machine, win["facts"], options, args.linux_bin, work)
        except (wine_prefix.WineError, subprocess.TimeoutExpired, json.JSONDecodeError) as exc:
            print(f"FAIL {label}: {exc}")
            failures += 1
            continue
        finally:
            if server:
                server.close()
        (work / "windows.log").write_text("\n".join(win["log"]) + "\n")
        (work / "linux.log").write_text("\n".join(lin["log"]) + "\n")
        problems = compare(label, win, lin)
        if server:
            wanted = f"The Resource ID from the server is given  by {RESOURCE_ID} "
            if not any(wanted in line for line in win["log"]):
                problems.append("the Windows build did not take the resource ID from the server")
            if asked_by_windows == 0 or len(server.paths) == asked_by_windows:
                problems.append(f"the server was not asked by both builds: {server.paths}")
        # The manifest makes the version queries tell the truth: Windows 10, not the 6.2 of an
        # undeclared program.
        if version == "win10" and win["exit"] != 13 and not any(
                line.startswith("[INFO] IsServerOS : Os Name Windows 10") for line in win["log"]):
            problems.append("the IsServerOS line does not name Windows 10")
        status = "FAIL" if problems else "ok  "
        print(f"{status} {label}: exit {win['exit']}, {len(win['log'])} log lines, "
              f"{len(implicit_keys_only(win['writes']))} registry writes ({time.time() - t0:.0f} s)")
        for problem in problems:
            print("     " + problem.replace("\n", "\n     "))
        failures += bool(problems)
        if not args.keep:
            shutil.rmtree(work / "prefix", ignore_errors=True)
    if not args.keep:
        shutil.rmtree(template, ignore_errors=True)
    print(f"wine_scenarios: {failures} of the scenarios differ ({time.time() - started:.0f} s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The Windows Installer packages under Wine: the launch conditions refuse a
system without wmvcore.dll in its system folder and (the x64 package) an
ARM64 system; then, over another product's persistent handler (the shared
table's "@" rows), an older package is installed, the current one installed
over it as an upgrade, another build of the same version over that, a file
filtered through the registration the package made (in the machine's
classes), and the package removed, after which the other product's handler
is back and nothing of Trellan's is left.

usage: msi_check.py --wine LOADER --msi WINPATH --older-msi WINPATH --same-version-msi WINPATH
                    --version PACKAGE_VERSION --install-dir DIR --install-winpath WINPATH
                    --table FILE --media-dir DIR --media-winpath WINPATH --system-dir DIR --bits 32|64
                    [--beside-msi WINPATH --beside-wine LOADER]
The 32-bit package is refused alone; the 64-bit one (--beside-msi) goes first and last.
The loader's bitness chooses msiexec, reg.exe and so the registry view.
Prints one line per check and a closing 'N passed, N failed' line; exits
non-zero when a check fails."""

import argparse
import json
import os
import sys

from wine_registry import Checks, Wine, WineError, load_replaced

FILTER_SERVER = "CLSID\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}\\InprocServer32"
TRELLAN_HANDLER = "{841BB775-EF27-4f3e-8522-D09327C5A8EA}"
UNINSTALL = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
ENVIRONMENT = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"


def value(wine, key, name=None):
    """A REG_SZ value's data (the default value when name is None), or None."""
    out = wine.query(key, *(["/ve"] if name is None else ["/v", name]))
    if out is None:
        return None
    for line in out.splitlines():
        parts = line.strip().split("    ", 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            return parts[2] if len(parts) == 3 else ""
    return None


def installed_products(wine):
    """[(DisplayName, DisplayVersion)] of the Trellan entries under Uninstall."""
    out = wine.query(UNINSTALL, "/s") or ""
    entries, current = [], {}
    for line in out.splitlines() + ["HKEY_END"]:
        if line.startswith("HKEY_"):
            if current.get("DisplayName", "").startswith("Trellan"):
                entries.append((current["DisplayName"], current.get("DisplayVersion")))
            current = {}
            continue
        parts = line.strip().split("    ", 2)
        if len(parts) == 3:
            current[parts[0]] = parts[2]
    return entries


def msiexec(checks, wine, *args):
    code, out, err = wine.run("msiexec", *args, "/qn")
    return checks.check(code == 0, f"msiexec {' '.join(args)} exits 0", f"exit {code} {out}{err}")


def refused(checks, wine, msi, label):
    """The package refuses to install (a launch condition) and leaves nothing."""
    code, out, err = wine.run("msiexec", "/i", msi, "/qn")
    checks.check(code != 0 and installed_products(wine) == [], f"{label}: the package refuses to install",
                 f"exit {code} {out}{err}")


def check_launch_conditions(checks, wine, options):
    runtime = os.path.join(options.system_dir, "wmvcore.dll")
    os.rename(runtime, runtime + ".away")
    try:
        refused(checks, wine, options.msi, "without wmvcore.dll")
    finally:
        os.rename(runtime + ".away", runtime)
    if options.bits != "64":
        if options.beside_msi:
            refused(checks, wine, options.msi, "without the 64-bit package")
        return
    out = wine.query(ENVIRONMENT, "/v", "PROCESSOR_ARCHITECTURE")
    native = out.split()[-1] if out and out.split() else "AMD64"
    wine.run("reg", "add", ENVIRONMENT, "/v", "PROCESSOR_ARCHITECTURE", "/d", "ARM64", "/f", check=True)
    try:
        refused(checks, wine, options.msi, "on ARM64")
    finally:
        wine.run("reg", "add", ENVIRONMENT, "/v", "PROCESSOR_ARCHITECTURE", "/d", native, "/f", check=True)


def check_installed(checks, wine, label, module, replaced):
    checks.check(value(wine, FILTER_SERVER) == module, f"{label}: InprocServer32 names {module}",
                 f"found {value(wine, FILTER_SERVER)}")
    for key, saved, handler in replaced:
        checks.check(value(wine, key) == TRELLAN_HANDLER, f"{label}: {key} names Trellan's handler")
        checks.check(value(wine, key, saved) == handler, f"{label}: {key} keeps the other product's handler")


def main():
    parser = argparse.ArgumentParser()
    for option in ["--wine", "--msi", "--older-msi", "--same-version-msi", "--version", "--install-dir",
                   "--install-winpath", "--table", "--media-dir", "--media-winpath", "--system-dir", "--bits"]:
        parser.add_argument(option, required=True)
    parser.add_argument("--beside-msi")
    parser.add_argument("--beside-wine")
    options = parser.parse_args()

    checks = Checks()
    wine = Wine(options.wine)

    def mine():
        return [product for product in installed_products(wine) if product[0].endswith(f"({options.bits}-bit)")]
    replaced = load_replaced(options.table)
    module = options.install_winpath + "\\trellan.dll"
    exe = options.install_winpath + "\\trellan.exe"
    with open(os.path.join(options.media_dir, "installed.mp3"), "wb"):
        pass
    with open(os.path.join(options.media_dir, "installed.txt"), "w", encoding="utf-8") as script:
        script.write("installed.mp3|0|Title|string|Installed by the package\n")
    try:
        check_launch_conditions(checks, wine, options)
        for key, _, handler in replaced:
            wine.reg_add(key, None, handler)
        wine64 = Wine(options.beside_wine) if options.beside_msi else None
        if wine64:
            print("the 64-bit package first")
            msiexec(checks, wine64, "/i", options.beside_msi)

        print("the older package")
        if msiexec(checks, wine, "/i", options.older_msi):
            check_installed(checks, wine, "older", module, replaced)

        def installed_over(msi, label):
            """Installs `msi` over what is there: one Trellan of this bitness, registered."""
            if not msiexec(checks, wine, "/i", msi):
                return False
            products = mine()
            checks.check(len(products) == 1 and products[0][1] == options.version,
                         f"{label}: one Trellan installed, version {options.version}", f"found {products}")
            check_installed(checks, wine, label, module, replaced)
            return True

        print("the current package over it")
        if installed_over(options.msi, "upgraded"):
            for name in ["trellan.dll", "trellan.exe", "INSTALL.txt", "LICENSE.txt"]:
                checks.check(os.path.isfile(os.path.join(options.install_dir, name)), f"upgraded: {name} installed")
            env = {"TRELLAN_WMVCORE_SCRIPT": options.media_winpath + "\\installed.txt"}
            code, out, err = wine.run(exe, "dump", "--json", options.media_winpath + "\\installed.mp3", env=env)
            record = json.loads(out.strip().splitlines()[-1]) if code == 0 and out.strip() else {}
            chunks = record.get("chunks", [])
            checks.check(code == 0 and len(chunks) == 4 and chunks[1].get("value") == "Installed by the package",
                         "upgraded: the installed trellan.exe filters a file through the registration",
                         f"exit {code} {out}{err}")

        print("another build of the same version over it")
        if installed_over(options.same_version_msi, "same version"):
            out = wine.query("HKLM\\Software\\Classes\\" + FILTER_SERVER, "/ve")
            checks.check(out is not None and module in out, "same version: registered in the machine's classes",
                         f"found {out}")

        print("removal")
        if msiexec(checks, wine, "/x", options.same_version_msi) and (
                not wine64 or msiexec(checks, wine64, "/x", options.beside_msi)):
            checks.check(mine() == [], "removed: no Trellan installed")
            checks.check(value(wine, FILTER_SERVER) is None, "removed: the filter class is unregistered")
            checks.check(not os.path.exists(os.path.join(options.install_dir, "trellan.dll")),
                         "removed: trellan.dll is gone")
            for key, saved, handler in replaced:
                checks.check(value(wine, key) == handler, f"removed: {key} names the other product's handler again",
                             f"found {value(wine, key)}")
                checks.check(value(wine, key, saved) is None, f"removed: {key} holds no saved value")
    except (WineError, ValueError) as error:
        checks.check(False, "wine", str(error))

    print(f"msi: {checks.passed} passed, {checks.failed} failed")
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

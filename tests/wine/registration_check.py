#!/usr/bin/env python3
"""Registers and unregisters the module with the platform's regsvr32 inside
a Wine prefix and checks the registry through reg.exe against the shared
expected-registration table.

usage: registration_check.py --wine LOADER --table FILE --module WINPATH
                             [--quoted-module WINPATH] [--platform win32|win64]
The loader's bitness chooses regsvr32, reg.exe and so the registry view:
the 32-bit loader works in the 32-bit view of a 64-bit prefix. --platform
names the key that the type library's path is filed under.
Prints one line per check and a closing 'N passed, N failed' line; exits
non-zero when a check fails."""

import argparse
import sys

from wine_registry import Checks, Wine, WineError, load_replaced, load_table

FILTER_CLASS = "CLSID\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}"
HANDLER_CLASS = "CLSID\\{841BB775-EF27-4f3e-8522-D09327C5A8EA}"
TYPE_LIBRARY = "TypeLib\\{26FF8391-CEFA-44AC-AB73-8B4158F16429}"
EXTENSIONS = [".mp3", ".wma", ".wmv", ".asf"]
TRELLAN_HANDLER = "{841BB775-EF27-4f3e-8522-D09327C5A8EA}"

# Subtrees that registration owns whole: after registration they hold the
# table's rows under them and nothing else.
OWNED_SUBTREES = [FILTER_CLASS, HANDLER_CLASS, TYPE_LIBRARY]


def lower(key):
    return key.lower()


# Wine's type-library loader adds LIBFLAG_FHASDISKIMAGE (8) to the flags of
# every library loaded from a file, and its RegisterTypeLib writes them as
# they are; Windows writes the library's own flags. The library's own flags
# are checked to be 0 by the Windows test program (TypeLibrary tests).
WINE_FLAGS_KEY = TYPE_LIBRARY + "\\1.0\\FLAGS"
WINE_FLAGS = {"0", "8"}


def matches(key, data, found):
    if lower(key) == lower(WINE_FLAGS_KEY) and data == "0":
        return found is not None and found[0] == "REG_SZ" and found[1] in WINE_FLAGS
    return found == ("REG_SZ", data)


def expected_subtree(rows, root):
    """{key lower-cased: {name: data}} of the table's rows with values under
    root (keys that only lead to others are compared through their rows)."""
    tree = {}
    for key, name, data in rows:
        if data is None:
            continue
        if lower(key) == lower(root) or lower(key).startswith(lower(root) + "\\"):
            tree.setdefault(lower(key), {})[name] = data
    return tree




ROOTS = OWNED_SUBTREES + EXTENSIONS


class RegistryView:
    """One reading of the subtrees that registration touches; every check
    of a state looks here, so that a state is read once."""

    def __init__(self, wine):
        self.trees = {lower(root): wine.subtree(root) for root in ROOTS}
        self.clsid_exists = wine.query("CLSID") is not None

    def _root_of(self, key):
        for root in ROOTS:
            if lower(key) == lower(root) or lower(key).startswith(lower(root) + "\\"):
                return lower(root)
        raise KeyError(f"{key} is outside the subtrees read")

    def exists(self, key):
        if lower(key) == "clsid":
            return self.clsid_exists
        root = self._root_of(key)
        tree = self.trees[root]
        if tree is None:
            return False
        # reg query names every subkey it lists; the root itself answered.
        return lower(key) == root or any(lower(found) == lower(key) for found in tree)

    def value(self, key, name):
        tree = self.trees[self._root_of(key)]
        if tree is None:
            return None
        for found, values in tree.items():
            if lower(found) == lower(key):
                return values.get(name)
        return None

    def subtree(self, root):
        tree = self.trees[lower(root)]
        if tree is None:
            return None
        actual = {}
        for key, values in tree.items():
            if not values:
                continue
            actual[lower(key)] = {name: data for name, (kind, data) in values.items()}
            if lower(key) == lower(WINE_FLAGS_KEY) and actual[lower(key)].get("") in WINE_FLAGS:
                actual[lower(key)][""] = "0"
        return actual

    def __eq__(self, other):
        return self.trees == other.trees and self.clsid_exists == other.clsid_exists


def plant(wine, replaced):
    """What an older build and another product left behind."""
    wine.reg_add(FILTER_CLASS, None, "Older Veltrane filter")
    wine.reg_add(FILTER_CLASS + "\\StaleFromOlderBuild", "Left", "over")
    wine.reg_add(FILTER_CLASS + "\\InprocServer32", None, "C:\\old\\trellan-old.dll")
    wine.reg_add(FILTER_CLASS + "\\InprocServer32", "OldSetting", "1")
    for key, _, handler in replaced:
        wine.reg_add(key, None, handler)
    wine.reg_add(".mp3\\OpenWithProgids", "Player.mp3", "")
    wine.reg_add(".wmv\\ShellEx\\{BB2E617C-0920-11D1-9A0B-00C04FC2D6C1}", None, "{ABCDEF00-0000-0000-0000-000000000001}")


def check_registered(checks, view, rows, module, label):
    for key, name, data in rows:
        if data is None:
            checks.check(view.exists(key), f"{label}: key {key}")
            continue
        entry = view.value(key, name)
        checks.check(matches(key, data, entry), f"{label}: {key} [{name or '(default)'}] = {data}",
                     f"found {entry}")
    for root in OWNED_SUBTREES:
        expected = expected_subtree(rows, root)
        actual = view.subtree(root)
        checks.check(actual == expected, f"{label}: {root} holds the table's rows and nothing else",
                     f"expected {expected}, found {actual}")


def check_replaced_kept(checks, view, replaced, label):
    """Registration replaced another product's handler and keeps it."""
    for key, saved, handler in replaced:
        checks.check(view.value(key, "") == ("REG_SZ", TRELLAN_HANDLER), f"{label}: {key} names Trellan's handler")
        checks.check(view.value(key, saved) == ("REG_SZ", handler),
                     f"{label}: {key} keeps the handler it replaced in {saved}", f"found {view.value(key, saved)}")


def check_unregistered(checks, view, rows, label, replaced=()):
    checks.check(view.exists("CLSID"), f"{label}: CLSID stays")
    for extension in EXTENSIONS:
        checks.check(view.exists(extension), f"{label}: {extension} stays")
    back = {lower(key) for key, _, _ in replaced}
    gone = sorted({key for key, name, data in rows
                   if lower(key) != "clsid" and lower(key) not in EXTENSIONS and lower(key) not in back})
    for key in gone:
        checks.check(not view.exists(key), f"{label}: {key} is gone")
    for key, saved, handler in replaced:
        checks.check(view.value(key, "") == ("REG_SZ", handler), f"{label}: {key} names the other product's "
                     "handler again", f"found {view.value(key, '')}")
        checks.check(view.value(key, saved) is None, f"{label}: {key} holds no saved value")
    checks.check(not view.exists(TYPE_LIBRARY), f"{label}: {TYPE_LIBRARY} is gone")


def help_dir_of(module):
    return module[: module.rfind("\\") + 1]


def regsvr32(checks, wine, module, unregister, label):
    args = ["regsvr32", "/s"] + (["/u"] if unregister else []) + [module]
    code, out, err = wine.run(*args)
    return checks.check(code == 0, f"{label}: regsvr32 {' '.join(args[1:])} exits 0", f"exit {code} {out}{err}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", required=True)
    parser.add_argument("--table", required=True)
    parser.add_argument("--module", required=True)
    parser.add_argument("--quoted-module")
    parser.add_argument("--platform", choices=["win32", "win64"], default="win32")
    options = parser.parse_args()

    wine = Wine(options.wine)
    checks = Checks()
    module = options.module
    rows = load_table(options.table, module, help_dir_of(module), options.platform)
    replaced = load_replaced(options.table)
    try:
        print("registration over planted keys")
        plant(wine, replaced)
        if regsvr32(checks, wine, module, False, "register"):
            view = RegistryView(wine)
            check_registered(checks, view, rows, module, "registered")
            check_replaced_kept(checks, view, replaced, "registered")

        print("registering twice")
        before = RegistryView(wine)
        if regsvr32(checks, wine, module, False, "register again"):
            checks.check(RegistryView(wine) == before, "register again: nothing changes, the saved handler stays")

        print("unregistration")
        if regsvr32(checks, wine, module, True, "unregister"):
            view = RegistryView(wine)
            check_unregistered(checks, view, rows, "unregistered", replaced)
            checks.check(view.value(".mp3\\OpenWithProgids", "Player.mp3") == ("REG_SZ", ""),
                         "unregistered: .mp3's other subkey survives")
            checks.check(view.value(".wmv\\ShellEx\\{BB2E617C-0920-11D1-9A0B-00C04FC2D6C1}", "") is not None,
                         "unregistered: .wmv's other subkey survives")
        if regsvr32(checks, wine, module, True, "unregister again"):
            check_unregistered(checks, RegistryView(wine), rows, "unregistered twice", replaced)

        if options.quoted_module:
            print("a module path with a single quote")
            quoted = options.quoted_module
            quoted_rows = load_table(options.table, quoted, help_dir_of(quoted), options.platform)
            if regsvr32(checks, wine, quoted, False, "register quoted"):
                check_registered(checks, RegistryView(wine), quoted_rows, quoted, "quoted")
            if regsvr32(checks, wine, quoted, True, "unregister quoted"):
                check_unregistered(checks, RegistryView(wine), quoted_rows, "quoted unregistered", replaced)
    except WineError as error:
        checks.check(False, "wine", str(error))

    print(f"registration: {checks.passed} passed, {checks.failed} failed")
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

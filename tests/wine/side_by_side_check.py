#!/usr/bin/env python3
"""Both DLLs registered side by side in one 64-bit prefix: the 32-bit DLL by
the 32-bit regsvr32, which writes the registry's 32-bit view, and the 64-bit
DLL by the 64-bit one. Each bitness's test program creates the filter
through CoCreateInstance and filters files over the wmvcore double of its
own bitness.

Then what unregistering one DLL does to the other. The class keys live in
each view apart, but the extension keys and the type library's key are
shared by both views: unregistering the 32-bit DLL while the 64-bit one
stays keeps the extensions on Trellan's handler, which the 64-bit view
resolves to it; unregistering the 64-bit DLL first, or the second DLL, puts
back the handler that another product had set before (the shared table's
"@" rows) and removes the others, as the system's 64-bit indexer cannot
load the 32-bit DLL.

usage: side_by_side_check.py --wine32 LOADER --wine64 LOADER
                             --module32 WINPATH --module64 WINPATH
                             --tests32 WINPATH --tests64 WINPATH --table FILE
Prints one line per check and a closing 'N passed, N failed' line; exits
non-zero when a check fails."""

import argparse
import sys

from registration_check import EXTENSIONS, TYPE_LIBRARY
from wine_registry import Checks, Wine, WineError, load_replaced

FILTER_CLASS_ID = "{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}"
HANDLER_ID = "{841BB775-EF27-4f3e-8522-D09327C5A8EA}"
FILTER_SERVER = f"CLSID\\{FILTER_CLASS_ID}\\InprocServer32"
HANDLER_ADDIN = f"CLSID\\{HANDLER_ID}\\PersistentAddinsRegistered\\{{89BCB740-6119-101A-BCB7-00DD010655AF}}"
TYPE_LIBRARY_PATH = TYPE_LIBRARY + "\\1.0\\0\\"


def default_value(wine, key):
    """The default value of HKCR\\key as this loader's reg.exe sees it, or
    None when the key or the value is missing."""
    tree = wine.subtree(key)
    if tree is None:
        return None
    for found, values in tree.items():
        if found.lower() == key.lower():
            entry = values.get("")
            return entry[1] if entry else None
    return None


class Side:
    """One bitness: its Wine loader (and so its registry view), its DLL and
    its test program."""

    def __init__(self, name, loader, module, tests):
        self.name = name
        self.wine = Wine(loader)
        self.module = module
        self.tests = tests

    def regsvr32(self, checks, unregister):
        args = ["regsvr32", "/s"] + (["/u"] if unregister else []) + [self.module]
        code, out, err = self.wine.run(*args)
        checks.check(code == 0, f"{self.name}: regsvr32 {' '.join(args[1:])} exits 0", f"exit {code} {out}{err}")

    def filter_files(self, checks, label):
        code, out, err = self.wine.run(self.tests, "--route=registered", f"--module={self.module}",
                                       "--gtest_filter=ChunkWalk.*", "--gtest_brief=1")
        checks.check(code == 0, f"{label}: the {self.name} test program creates the filter through "
                     "CoCreateInstance and filters files over its own wmvcore double", f"exit {code}\n{out}{err}")


def check_state(checks, label, sides, filter_modules, type_libraries, extensions_lead, replaced):
    """filter_modules: {side name: module or None}; type_libraries: {"win32"
    or "win64": path or None}; extensions_lead: whether the extensions name
    the persistent handler (in both views, as they are shared); when they do
    not, each extension of `replaced` names the other product's handler."""
    others = {key.split("\\")[0].lower(): handler for key, _, handler in replaced}
    for side in sides:
        expected = filter_modules[side.name]
        found = default_value(side.wine, FILTER_SERVER)
        checks.check(found == expected, f"{label}: the {side.name} view's InprocServer32 is {expected}",
                     f"found {found}")
        handler = default_value(side.wine, HANDLER_ADDIN)
        checks.check(handler == (FILTER_CLASS_ID if expected else None),
                     f"{label}: the {side.name} view's persistent handler {'names' if expected else 'is gone, no'} "
                     "filter", f"found {handler}")
        for extension in EXTENSIONS:
            found = default_value(side.wine, extension + "\\PersistentHandler")
            checks.check(found == (HANDLER_ID if extensions_lead else others.get(extension)),
                         f"{label}: {extension} {'leads to Trellan' if extensions_lead else 'has its earlier handler, or none'} "
                         f"in the {side.name} view", f"found {found}")
    for platform, expected in type_libraries.items():
        found = default_value(sides[0].wine, TYPE_LIBRARY_PATH + platform)
        checks.check(found == expected, f"{label}: the type library's {platform} path is {expected}", f"found {found}")


def main():
    parser = argparse.ArgumentParser()
    for bits in ("32", "64"):
        parser.add_argument(f"--wine{bits}", required=True)
        parser.add_argument(f"--module{bits}", required=True)
        parser.add_argument(f"--tests{bits}", required=True)
    parser.add_argument("--table", required=True)
    options = parser.parse_args()
    replaced = load_replaced(options.table)

    side32 = Side("32-bit", options.wine32, options.module32, options.tests32)
    side64 = Side("64-bit", options.wine64, options.module64, options.tests64)
    sides = [side32, side64]
    checks = Checks()
    try:
        for key, _, handler in replaced:
            side64.wine.reg_add(key, None, handler)
        print("both registered")
        side32.regsvr32(checks, False)
        side64.regsvr32(checks, False)
        check_state(checks, "both", sides, {"32-bit": options.module32, "64-bit": options.module64},
                    {"win32": options.module32, "win64": options.module64}, True, replaced)
        side32.filter_files(checks, "both")
        side64.filter_files(checks, "both")

        print("the 32-bit DLL unregistered, the 64-bit one left")
        side32.regsvr32(checks, True)
        check_state(checks, "32-bit gone", sides, {"32-bit": None, "64-bit": options.module64},
                    {"win32": None, "win64": options.module64}, True, replaced)
        side64.filter_files(checks, "32-bit gone")

        print("the 64-bit DLL registered again, then unregistered: the other product's handler is back")
        side64.regsvr32(checks, False)
        check_state(checks, "64-bit again", sides, {"32-bit": None, "64-bit": options.module64},
                    {"win32": None, "win64": options.module64}, True, replaced)
        side64.regsvr32(checks, True)
        check_state(checks, "none", sides, {"32-bit": None, "64-bit": None}, {"win32": None, "win64": None}, False,
                    replaced)
        checks.check(default_value(side64.wine, TYPE_LIBRARY + "\\1.0") is None,
                     "none: the type library's key is gone")

        print("both registered again, the 64-bit DLL unregistered first: the other product's handler is back")
        side32.regsvr32(checks, False)
        side64.regsvr32(checks, False)
        side64.regsvr32(checks, True)
        check_state(checks, "64-bit gone", sides, {"32-bit": options.module32, "64-bit": None},
                    {"win32": options.module32, "win64": None}, False, replaced)
        side32.regsvr32(checks, True)
        check_state(checks, "none again", sides, {"32-bit": None, "64-bit": None}, {"win32": None, "win64": None},
                    False, replaced)
    except WineError as error:
        checks.check(False, "wine", str(error))

    print(f"side by side: {checks.passed} passed, {checks.failed} failed")
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

"""Reading and writing the registry of a Wine prefix through Wine's own
reg.exe, running programs under Wine with a time limit, and counting the
checks of a test script."""

import os
import subprocess
import tempfile

CLASSES_ROOT = "HKEY_CLASSES_ROOT"
# What Wine's reg prints, and exits 1 with, for a key or value that is not there.
MISSING_MESSAGE = "Unable to find the specified registry"
QUERY_ATTEMPTS = 3
ROOT_NAMES = ("HKCR\\", "HKLM\\", "HKCU\\")


class WineError(Exception):
    pass


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, condition, what, detail=""):
        if condition:
            self.passed += 1
            print(f"  ok   {what}")
        else:
            self.failed += 1
            print(f"  FAIL {what}" + (f": {detail}" if detail else ""))
        return condition


class Wine:
    def __init__(self, loader, timeout=300, overrides=None):
        self.loader = loader
        self.timeout = timeout
        self.overrides = overrides

    def run(self, *args, env=None, check=False):
        """Runs a program under Wine; answers (exit code, stdout, stderr)."""
        environment = dict(os.environ)
        if env:
            environment.update(env)
        # Output goes to files, not pipes: services that Wine starts on the
        # way inherit the handles and would hold a pipe open long after the
        # program is done.
        with tempfile.TemporaryFile() as stdout, tempfile.TemporaryFile() as stderr:
            try:
                done = subprocess.run([self.loader, *args], stdout=stdout, stderr=stderr, env=environment,
                                      timeout=self.timeout, stdin=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                raise WineError(f"timed out after {self.timeout}s: {' '.join(args)}")
            stdout.seek(0)
            stderr.seek(0)
            out = stdout.read().decode("utf-8", "replace")
            err = stderr.read().decode("utf-8", "replace")
        if check and done.returncode != 0:
            raise WineError(f"{' '.join(args)} exited with {done.returncode}: {out}{err}")
        return done.returncode, out, err

    def reg_add(self, key, name=None, data=""):
        """Writes a REG_SZ value (the default value when name is None)."""
        args = ["reg", "add", f"HKCR\\{key}", "/f"]
        args += ["/ve"] if name is None else ["/v", name]
        args += ["/d", data]
        self.run(*args, check=True)

    def reg_add_key(self, key):
        self.run("reg", "add", f"HKCR\\{key}", "/f", check=True)

    def query(self, key, *args):
        """What reg query prints for a key (under HKCR when no root is named),
        or None when reg reports the key or value missing. Wine's reg fails
        now and then on a machine loaded with other work, without a word or
        with another one: such a failure is tried again and then raised, so
        that it never passes for a missing key."""
        if not key.startswith(ROOT_NAMES):
            key = f"HKCR\\{key}"
        failures = []
        for _ in range(QUERY_ATTEMPTS):
            code, out, err = self.run("reg", "query", key, *args)
            if code == 0:
                return out
            if code == 1 and MISSING_MESSAGE in out + err:
                return None
            failures.append(f"exit {code} {out.strip()} {err.strip()}".strip())
        raise WineError(f"reg query {key} failed {QUERY_ATTEMPTS} times: {'; '.join(failures)}")

    def subtree(self, key):
        """The subtree of HKCR\\key as {relative key: {value name: (type, data)}}
        with the key names as written; None when the key is missing."""
        out = self.query(key, "/s")
        return None if out is None else parse_query(out)


def parse_query(text):
    keys = {}
    current = None
    prefix = CLASSES_ROOT + "\\"
    for line in text.splitlines():
        if not line.strip():
            continue
        if line.startswith(prefix):
            current = line[len(prefix):]
            keys.setdefault(current, {})
            continue
        if current is None or not line.startswith("    "):
            raise WineError(f"unexpected reg query line: {line!r}")
        parts = line[4:].split("    ", 2)
        if len(parts) == 2:
            parts.append("")
        name, kind, data = parts
        if name == "(Default)":
            name = ""
        keys[current][name] = (kind, data)
    return keys


TYPE_LIBRARY_PATH_KEY = "\\0\\win32"


def load_table(path, module, help_dir, platform="win32"):
    """The shared expected-registration table: rows (key, value name, data),
    data None for a key alone. The table files the type library's path under
    "win32"; `platform` "win64" files it where the 64-bit library goes."""
    rows = []
    with open(path, encoding="utf-8") as table:
        for line in table:
            line = line.rstrip("\r\n")
            if not line or line.startswith("#") or line.startswith("@"):
                continue
            key, name, data = line.split("|", 2)
            data = data.replace("%MODULE%", module).replace("%HELPDIR%", help_dir)
            if key.lower().endswith(TYPE_LIBRARY_PATH_KEY):
                key = key[: -len("win32")] + platform
            rows.append((key, name, None if not name and not data else data))
    return rows


def load_replaced(path):
    """The table's "@" rows: (PersistentHandler key, the value in which
    registration keeps the handler it replaced, that handler), for a key
    that another product had set before registration."""
    rows = []
    with open(path, encoding="utf-8") as table:
        for line in table:
            line = line.rstrip("\r\n")
            if line.startswith("@"):
                rows.append(tuple(line[1:].split("|", 2)))
    return rows

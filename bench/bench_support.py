"""What the whole-process benchmarks share: the sample generator, and a
scratch folder with a registry of its own in which the filter is registered."""

import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_BUILD = os.path.join(ROOT, "build", "linux")


def load_generator():
    """scripts/make_samples.py as a module, for its file-writing functions."""
    sys.path.insert(0, os.path.join(ROOT, "scripts"))
    try:
        import make_samples
    finally:
        sys.path.pop(0)
    return make_samples


def program(build, name, bench):
    """The path of a built program; ends the benchmark when it is missing."""
    path = os.path.join(build, "bin", name)
    if not os.access(path, os.X_OK):
        sys.exit(f"{bench}: {path} is missing; build with: cmake --build --preset linux")
    return path


@contextlib.contextmanager
def registered_workspace(trellan, prefix):
    """A scratch folder, removed at the end, and the environment of a registry
    inside it in which the filter is registered."""
    work = tempfile.mkdtemp(prefix=prefix)
    try:
        env = dict(os.environ, TRELLAN_REGISTRY=os.path.join(work, "registry.sqlite"))
        subprocess.run([trellan, "register"], env=env, check=True, stdout=subprocess.DEVNULL)
        yield work, env
    finally:
        shutil.rmtree(work, ignore_errors=True)


def await_watcher(trellan, env, database, bench):
    """Waits until an `index --watch` over `database` has made its first run
    and records itself; ends the benchmark when it does not within a minute."""
    for _ in range(600):
        status = subprocess.run([trellan, "index", "--status", "--db", database], env=env, capture_output=True,
                                text=True).stdout
        if "watcher: running" in status:
            return
        time.sleep(0.1)
    sys.exit(f"{bench}: the watcher did not start")

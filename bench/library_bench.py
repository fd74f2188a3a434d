#!/usr/bin/env python3
"""Measures Trellan over large Zipf libraries (bench/zipf_library.py) and,
where Recoll is installed, beside it: for each size of library,

1. the first `trellan index` run and an unchanged second one: wall time,
   processor time (user and system, the workers' included) and the peak of
   the sum of the proportional set sizes of the run's processes, sampled
   every 20 ms from /proc;
2. whole `trellan search` processes printing the first page (-n 20) of
   queries with many, some and few hits, chosen from the library's own word
   counts; beside each, `recollq -n 20` over a Recoll index of the same
   library, the two run in turn (A, B, A, B ...), medians of ROUNDS;
3. the machine the figures came from.

A library is written once under --work and kept there, as is Recoll's
index, so that a second run of the benchmark measures again without
writing 4.5 GB anew; --fresh writes both again.

usage: bench/library_bench.py [--build DIR] [--work DIR] [--files N,N] [--rounds N] [--fresh] [--no-recoll]
"""

import argparse
import collections
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import threading
import time

from bench_support import DEFAULT_BUILD, program
from zipf_library import GENRES, make_library


def pss_of_tree(root):
    """The sum of the proportional set sizes, in bytes, of `root` and every
    process below it."""
    total, pending = 0, [root]
    while pending:
        pid = pending.pop()
        try:
            with open(f"/proc/{pid}/smaps_rollup") as rollup:
                for line in rollup:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1]) * 1024
                        break
            for task in os.listdir(f"/proc/{pid}/task"):
                with open(f"/proc/{pid}/task/{task}/children") as children:
                    pending.extend(int(child) for child in children.read().split())
        except (FileNotFoundError, ProcessLookupError, PermissionError):
            continue  # gone meanwhile
    return total


def measured(command, env):
    """(wall seconds, processor seconds, peak summed PSS in bytes) of one run."""
    with open(os.devnull, "wb") as devnull:
        start = time.perf_counter()
        pid = os.posix_spawn(command[0], command, env, file_actions=[(os.POSIX_SPAWN_DUP2, devnull.fileno(), 1)])
        peak, done = [0], threading.Event()

        def sample():
            while not done.wait(0.02):
                peak[0] = max(peak[0], pss_of_tree(pid))

        sampler = threading.Thread(target=sample)
        sampler.start()
        _, status, usage = os.wait4(pid, 0)
        elapsed = time.perf_counter() - start
        done.set()
        sampler.join()
    if os.waitstatus_to_exitcode(status) not in (0, 1):  # 1: some file failed, which a library may hold
        sys.exit(f"library_bench: {' '.join(command)} exited {os.waitstatus_to_exitcode(status)}")
    return elapsed, usage.ru_utime + usage.ru_stime, peak[0]


def quiet_run(command, env=None):
    """The wall time of a whole process, its output thrown away."""
    with open(os.devnull, "wb") as devnull:
        start = time.perf_counter()
        pid = os.posix_spawn(command[0], command, env or os.environ,
                             file_actions=[(os.POSIX_SPAWN_DUP2, devnull.fileno(), 1),
                                           (os.POSIX_SPAWN_DUP2, devnull.fileno(), 2)])
        os.waitpid(pid, 0)
        return time.perf_counter() - start


def library(work, files, fresh):
    """The library of `files` files under `work`, written when missing, and
    each word's number of files (kept beside it)."""
    folder = os.path.join(work, f"zipf{files}")
    counts_path = folder + ".counts.json"
    if fresh or not os.path.exists(counts_path):
        shutil.rmtree(folder, ignore_errors=True)
        counts = collections.Counter()
        started = time.perf_counter()
        make_library(folder, files, counts=counts)
        print(f"library_bench: wrote {files} files in {time.perf_counter() - started:.0f} s", file=sys.stderr)
        with open(counts_path, "w") as out:
            json.dump(counts, out)
    with open(counts_path) as counts:
        return folder, collections.Counter(json.load(counts))


def queries(counts, files):
    """Words with the most hits, about a tenth and a hundredth of the files,
    and a few; a genre; a phrase of the two commonest words."""
    ranked = [(n, word) for word, n in counts.most_common() if word.isascii() and word.isalpha()]

    def nearest(target):
        return min(ranked, key=lambda pair: abs(pair[0] - target))[1]

    top = ranked[0][1]
    return [top, nearest(files // 10), nearest(files // 100), nearest(20), f"genre:{GENRES[0].lower()}",
            f'"{ranked[0][1]} {ranked[1][1]}"']


def recoll_index(folder, fresh):
    """A Recoll configuration over `folder`, indexed once; None without
    Recoll."""
    if not shutil.which("recollindex") or not shutil.which("recollq"):
        return None
    config = folder + ".recoll"
    if fresh:
        shutil.rmtree(config, ignore_errors=True)
    if not os.path.exists(os.path.join(config, "xapiandb")):
        os.makedirs(config, exist_ok=True)
        with open(os.path.join(config, "recoll.conf"), "w") as conf:
            conf.write(f"topdirs = {folder}\n")
        # Recoll's own table has no WMA: it asks `xdg-mime`, a shell script
        # (a quarter of a second a file), for each one's type. The same
        # answer, given here, leaves what it indexes as it was.
        with open(os.path.join(config, "mimemap"), "w") as mimemap:
            mimemap.write(".wma = audio/x-ms-wma\n")
        started = time.perf_counter()
        # Its helpers read tags through the system's Python, which has the
        # mutagen they need, where another Python may come first in PATH.
        env = dict(os.environ, PATH="/usr/bin:" + os.environ.get("PATH", ""))
        subprocess.run(["recollindex", "-c", config], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, env=env)
        print(f"library_bench: Recoll indexed {folder} in {time.perf_counter() - started:.0f} s", file=sys.stderr)
    return config


def machine():
    model = "unknown processor"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as info:
        memory = int(info.readline().split()[1]) / 2**20
    return f"{os.cpu_count()} x {model}, {memory:.0f} GiB, {platform.system()} {platform.release()}"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=DEFAULT_BUILD)
    parser.add_argument("--work", default=os.path.join("/var/tmp", "trellan-library-bench"))
    parser.add_argument("--files", default="200000,1000000")
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--fresh", action="store_true", help="write the libraries and Recoll's indexes again")
    parser.add_argument("--no-recoll", action="store_true", help="Trellan's figures alone, even where Recoll is installed")
    args = parser.parse_args()
    sizes = [int(size) for size in args.files.split(",")]
    if any(size < 100 for size in sizes):
        parser.error("--files takes sizes of 100 files or more")
    trellan = program(args.build, "trellan", "library_bench")
    os.makedirs(args.work, exist_ok=True)
    env = dict(os.environ, TRELLAN_REGISTRY=os.path.join(args.work, "registry.sqlite"))
    subprocess.run([trellan, "register"], env=env, check=True, stdout=subprocess.DEVNULL)
    print(f"machine: {machine()}")
    for files in sizes:
        folder, counts = library(args.work, files, args.fresh)
        database = folder + ".sqlite"
        for suffix in ("", "-wal", "-shm", "-lock"):
            if os.path.exists(database + suffix):
                os.remove(database + suffix)
        index = [trellan, "index", "-q", "--db", database, folder]
        for run in ("first", "unchanged"):
            wall, cpu, peak = measured(index, env)
            print(f"{files:8} files, {run:9} index: {wall:7.1f} s, {cpu:7.1f} s processor, "
                  f"peak {peak / 2**20:6.1f} MiB (summed PSS)", flush=True)
        config = None if args.no_recoll else recoll_index(folder, args.fresh)
        for query in queries(counts, files):
            ours = [trellan, "search", "--db", database, "-n", "20", query]
            theirs = [shutil.which("recollq"), "-c", config, "-n", "20", query] if config else None
            mine, other = [], []
            for _ in range(args.rounds):
                mine.append(quiet_run(ours, env))
                if theirs:
                    other.append(quiet_run(theirs))
            hits = subprocess.run([trellan, "search", "--db", database, "-l", query], env=env,
                                  capture_output=True).stdout.count(b"\n")
            line = f"{files:8} files, search {query!r:28} {hits:7} hits: {statistics.median(mine) * 1000:7.1f} ms"
            if theirs:
                line += (f", recollq {statistics.median(other) * 1000:7.1f} ms "
                         f"({statistics.median(mine) / statistics.median(other):.2f}x)")
            print(line, flush=True)


if __name__ == "__main__":
    main()

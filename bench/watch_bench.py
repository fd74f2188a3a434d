#!/usr/bin/env python3
"""Measures how soon `trellan index --watch` makes a finished file searchable:
over a library of FILES media files, ROUNDS times a new file is written and
closed (and, as editors save, written under a temporary name and renamed over
a file), and `trellan search` is run again and again until it finds it. For
SQLite and for PostgreSQL on a private server that scripts/postgres_cluster.sh
starts (left out when it cannot start one), it prints the medians and ranges of

- the time from the close (or the rename) to the end of the watcher's batch
  that holds the file (its summary line, `--verbose`): from then on any search
  finds it;
- the time from the close to the end of the first `trellan search` process
  that prints it, which adds up to two whole search processes (the one that
  ran while the batch committed, and the next); their own median is printed
  beside.

usage: bench/watch_bench.py [--build DIR] [--files N] [--rounds N] [--backends sqlite,postgresql]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from bench_support import DEFAULT_BUILD, ROOT, await_watcher, load_generator, program, registered_workspace
from index_bench import make_library


def batch_ends(watcher, ends):
    """Appends to `ends` the moment each of the watcher's batch summaries comes."""
    for line in watcher.stderr:
        if " filtered, " in line:
            ends.append(time.perf_counter())


def search_until_found(trellan, env, database, word, name, searches, limit=10.0):
    """The moment a search for `word` first prints `name`; the time each
    search took goes to `searches`."""
    started = time.perf_counter()
    while time.perf_counter() - started < limit:
        begun = time.perf_counter()
        found = subprocess.run([trellan, "search", "-l", "--db", database, word], env=env, capture_output=True,
                               text=True).stdout
        searches.append(time.perf_counter() - begun)
        if name in found:
            return time.perf_counter()
    sys.exit(f"watch_bench: {name} was not found within {limit:.0f} s")


def write_file(path, data):
    """Writes and closes `path`; answers the moment of the close."""
    with open(path, "wb") as out:
        out.write(data)
    return time.perf_counter()


def save_by_rename(path, data):
    """Writes a temporary file beside `path` and renames it over it, as
    editors save; answers the moment of the rename."""
    temporary = os.path.join(os.path.dirname(path), f".{os.path.basename(path)}.part")
    write_file(temporary, data)
    os.rename(temporary, path)
    return time.perf_counter()


def probe_file(g, word):
    """An MP3 file whose title holds `word`."""
    frames = [g.text_frame("TIT2", g.LATIN1, f"Probe {word}"), g.text_frame("TPE1", g.LATIN1, "Watch Bench")]
    return g.id3v2(3, frames) + g.silent_frames(3)


def measure(trellan, env, database, library, rounds):
    """{way: [(to the batch's end, to the search's end)]}, and the searches' own times."""
    g = load_generator()
    shelf = os.path.join(library, "new")
    os.makedirs(shelf, exist_ok=True)
    watcher = subprocess.Popen([trellan, "index", "-v", "--watch", "--db", database, library], env=env,
                               stderr=subprocess.PIPE, text=True)
    ends, searches = [], []
    threading.Thread(target=batch_ends, args=(watcher, ends), daemon=True).start()
    times = {"written and closed": [], "renamed over": []}
    try:
        await_watcher(trellan, env, database, "watch_bench")
        for number in range(rounds):
            for way, save in (("written and closed", write_file), ("renamed over", save_by_rename)):
                word = f"probe{number}{'r' if save is save_by_rename else 'w'}"
                path = os.path.join(shelf, f"{word}.mp3")
                if save is save_by_rename:
                    write_file(path, b"")  # the file that the save replaces
                time.sleep(0.5)  # the watcher idle, as a user's save finds it
                finished = save(path, probe_file(g, word))
                found = search_until_found(trellan, env, database, word, os.path.basename(path), searches)
                committed = next((end for end in ends if end > finished), found)
                times[way].append((committed - finished, found - finished))
    finally:
        watcher.terminate()
        watcher.wait()
    return times, searches


def spread(seconds):
    return (f"median {statistics.median(seconds) * 1000:.0f} ms ({min(seconds) * 1000:.0f} to "
            f"{max(seconds) * 1000:.0f})")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=DEFAULT_BUILD)
    parser.add_argument("--files", type=int, default=1000)
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--backends", default="sqlite,postgresql")
    args = parser.parse_args()
    trellan = program(args.build, "trellan", "watch_bench")
    cluster = os.path.join(ROOT, "scripts", "postgres_cluster.sh")
    print(f"{args.files} files, {args.rounds} rounds, {os.cpu_count()} processors")
    with registered_workspace(trellan, "trellan-watch-bench-") as (work, env):
        library = os.path.join(work, "library")
        make_library(library, args.files)
        for backend in args.backends.split(","):
            server_folder = None
            if backend == "sqlite":
                database = os.path.join(work, "index.sqlite")
            else:
                # Beside the workspace, not in it: the server's own user must reach it.
                server_folder = tempfile.mkdtemp(prefix="trellan-bench-postgres-")
                started = subprocess.run([cluster, "start", server_folder], capture_output=True, text=True)
                if started.returncode != 0:
                    print(f"{backend}: no server ({started.stderr.strip()})")
                    continue
                database = started.stdout.strip()
            try:
                times, searches = measure(trellan, env, database, library, args.rounds)
                for way, pairs in times.items():
                    print(f"{backend:10} {way:18}: in the index {spread([p[0] for p in pairs])}; "
                          f"found by a search {spread([p[1] for p in pairs])}", flush=True)
                print(f"{backend:10} one whole search process: {spread(searches)}")
            finally:
                if server_folder:
                    subprocess.run([cluster, "stop", server_folder], check=True)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Measures the index: makes a library of FILES media files with distinct tags
(written with the sample generator's functions), then prints four figures:

1. indexing with two jobs, against `dump --json` with two jobs over the same
   folder (files per second, whole processes, alternating, the median of
   ROUNDS runs each);
2. re-indexing the unchanged library, against the first run;
3. the median time of a whole `trellan search` process over the library,
   beside the median start-up of `trellan --help`;
4. the size of the index file against the bytes of text it holds.

Wall times are what the figures are about; on a machine shared with other
work they wander, so the processor time (user + system) of each run is
printed beside them.

With --baseline DIR (another build, such as main before a change) the first
and third figures are taken for both builds, run by run in turn over the
same library (each build searching the index it made), and their ratios
printed.

With --scale it measures instead, for each back end (SQLite, and
PostgreSQL on a private server that scripts/postgres_cluster.sh starts) at
10,000 and 200,000 files (made by the benchmark): files a second of the first
run, the index's size, the re-index of the unchanged library and the peak
memory of both; then the memory of `index --watch` per watched folder.

usage: bench/index_bench.py [--build DIR] [--baseline DIR] [--files N] [--rounds N] [--searches N]
       bench/index_bench.py --scale [--build DIR] [--sizes N,N]
"""

import argparse
import os
import random
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

from bench_support import DEFAULT_BUILD, ROOT, await_watcher, load_generator, program, registered_workspace

FIRST = ["Mira", "Jonas", "Zoë", "Ana", "Björn", "Chloé", "Dmitri", "Eliška", "Farid", "Grete", "Hiro", "Inès",
         "József", "Kwame", "Léa", "Mateus", "Noémie", "Oskar", "Priya", "Renée", "Søren", "Tomás", "Uma", "Wen"]
LAST = ["Okonkwo", "Lindqvist", "Brontë", "Müller", "García", "Dvořák", "Nakamura", "Ångström", "Moreau",
        "Kowalski", "Haddad", "Novak", "Ferreira", "O'Brien", "Yılmaz", "Schäfer", "Rossi", "Kim", "Žukauskas"]
WORDS = """harbour lights night ferries tide tables coastline river stone morning glass winter garden
lantern meadow echo silver hollow ember orchard canyon velvet thunder paper crane island station
midnight café déjà vu naïve façade piñata smörgåsbord über crème brûlée fjord lagoon quarry
willow compass atlas orbit prism signal static drift current delta summit valley ridge marsh
engine circuit beacon harvest ribbon feather copper amber cobalt indigo scarlet ivory saffron
whisper anthem ballad chorus refrain overture sonata nocturne requiem lullaby elegy rhapsody
""".split()
GENRES = ["Jazz", "Ambient", "Classical", "Folk", "Electronic", "Documentary", "Blues", "Soundtrack"]


def tags(rng, number):
    """Distinct tags: three title words and the file's number, a name, a sentence."""
    title = " ".join(rng.choice(WORDS).capitalize() for _ in range(3)) + f" {number}"
    author = f"{rng.choice(FIRST)} {rng.choice(LAST)}"
    comment = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 12))).capitalize()
    album = " ".join(rng.choice(WORDS).capitalize() for _ in range(2))
    return title, author, comment, album, str(rng.randint(1960, 2024)), rng.choice(GENRES)


def media_file(g, rng, number):
    """One file of the four kinds in turn, with distinct tags; answers (extension, bytes)."""
    title, author, comment, album, year, genre = tags(rng, number)
    kind = number % 4
    if kind == 0:
        latin1 = number % 8 and all(ord(c) < 256 for c in title + author + comment + album)
        encoding = g.LATIN1 if latin1 else g.UTF16
        frames = [g.text_frame("TIT2", encoding, title), g.text_frame("TPE1", encoding, author),
                  g.text_frame("TALB", encoding, album), g.text_frame("TYER", encoding, year),
                  g.text_frame("TCON", encoding, genre), g.comment_frame("COMM", encoding, "", comment)]
        return ".mp3", g.id3v2(3, frames) + g.silent_frames(3)
    extension = [".wma", ".wmv", ".asf"][kind - 1]
    extended = [("WM/AlbumTitle", g.STRING, album), ("WM/Year", g.STRING, year), ("WM/Genre", g.STRING, genre)]
    description = (title, author, f"© {year} {author}", comment, "")
    return extension, g.build_asf(g.guid(f"7E1A0000-0000-4000-8000-{number:012X}"), description, extended, [],
                                  video=extension == ".wmv")


def make_library(folder, count, seed=13):
    g = load_generator()
    rng = random.Random(seed)
    for number in range(count):
        extension, data = media_file(g, rng, number)
        sub = os.path.join(folder, f"shelf{number // 100:04}")
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, f"track{number:05}{extension}"), "wb") as out:
            out.write(data)


def timed(command, env, memory=None):
    """Wall time and processor time of one run, in seconds. posix_spawn keeps
    the measuring process's own cost out of short runs. `memory`, a list,
    gets the run's peak resident memory in bytes."""
    with tempfile.TemporaryFile() as errors, open(os.devnull, "wb") as devnull:
        actions = [(os.POSIX_SPAWN_DUP2, devnull.fileno(), 1), (os.POSIX_SPAWN_DUP2, errors.fileno(), 2)]
        start = time.perf_counter()
        pid = os.posix_spawn(command[0], command, env, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        elapsed = time.perf_counter() - start
        if os.waitstatus_to_exitcode(status) != 0:
            errors.seek(0)
            sys.exit(f"index_bench: {' '.join(command)} failed: {errors.read().decode()}")
    if memory is not None:
        memory.append(usage.ru_maxrss * 1024)
    return elapsed, usage.ru_utime + usage.ru_stime


def medians(runs):
    """The median wall and processor times of (wall, processor) pairs."""
    return statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs)


def text_bytes(database):
    with sqlite3.connect(database) as connection:
        (total,) = connection.execute(
            "SELECT sum(length(CAST(c0 AS BLOB)) + length(CAST(c1 AS BLOB)) + "
            "length(CAST(c2 AS BLOB)) + length(CAST(c3 AS BLOB))) FROM texts_content").fetchone()
        connection.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    return total or 0


def postgres_size(server):
    """The bytes of the index's tables and their indexes in PostgreSQL."""
    sql = ("SELECT sum(pg_total_relation_size(c.oid)) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
           "WHERE n.nspname = 'trellan' AND c.relkind = 'r'")
    return int(subprocess.run(["psql", "-XAtc", sql, server], check=True, capture_output=True, text=True).stdout)


def resident(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024
    return 0


def watcher_memory(trellan, env, work, database, folders):
    """The resident memory of `index --watch` over `folders` folders of one
    file each, once it watches them all."""
    library = os.path.join(work, f"watched{folders}")
    for number in range(folders):
        folder = os.path.join(library, f"f{number // 100:03}", f"g{number:05}")
        os.makedirs(folder, exist_ok=True)
        open(os.path.join(folder, "note.txt"), "w").close()
    watcher = subprocess.Popen([trellan, "index", "-q", "--watch", "--db", database, library], env=env)
    try:
        await_watcher(trellan, env, database, "index_bench")
        time.sleep(0.5)
        return resident(watcher.pid)
    finally:
        watcher.terminate()
        watcher.wait()
        subprocess.run([trellan, "index", "-q", "--forget", library, "--db", database], env=env, check=True)


def scale(args, trellan):
    sizes = [int(size) for size in args.sizes.split(",")]
    cluster = os.path.join(ROOT, "scripts", "postgres_cluster.sh")
    with registered_workspace(trellan, "trellan-index-scale-") as (work, env):
        # Beside the workspace, not in it: the server's own user must reach it.
        server_folder = tempfile.mkdtemp(prefix="trellan-bench-postgres-")
        server = subprocess.run([cluster, "start", server_folder], check=True, capture_output=True,
                                text=True).stdout.strip()
        try:
            print(f"{os.cpu_count()} processors; PostgreSQL on a Unix socket of this machine")
            for files in sizes:
                library = os.path.join(work, f"library{files}")
                make_library(library, files)
                for backend in ("SQLite", "PostgreSQL"):
                    if backend == "SQLite":
                        database = os.path.join(work, f"index{files}.sqlite")
                    else:
                        database = f"{server} dbname=bench{files}"
                        subprocess.run(["psql", "-Xqc", f"CREATE DATABASE bench{files}", server], check=True)
                    index = [trellan, "index", "-q", "--jobs", "2", "--db", database, library]
                    first_memory, again_memory = [], []
                    first, first_cpu = timed(index, env, first_memory)
                    again, _ = timed(index, env, again_memory)
                    if backend == "SQLite":
                        size = sum(os.path.getsize(database + s) for s in ("", "-wal") if os.path.exists(database + s))
                    else:
                        size = postgres_size(database)
                    print(f"{backend:10} {files:7} files: first run {files / first:6.0f} files/s ({first:6.1f} s, "
                          f"{first_cpu:6.1f} s processor), index {size / 2**20:7.1f} MiB, re-index {again:6.2f} s, "
                          f"peak memory {first_memory[0] / 2**20:5.1f} MiB first, {again_memory[0] / 2**20:5.1f} MiB "
                          f"re-index", flush=True)
                subprocess.run(["rm", "-rf", library], check=True)
            database = os.path.join(work, "watch.sqlite")
            small, large = 1000, 20000
            low, high = (watcher_memory(trellan, env, work, database, n) for n in (small, large))
            print(f"watcher: {low / 2**20:.1f} MiB over {small} folders, {high / 2**20:.1f} MiB over {large}: "
                  f"{(high - low) / (large - small):.0f} bytes a folder (and the kernel's own for each watch)")
        finally:
            subprocess.run([cluster, "stop", server_folder], check=True)


def search_queries(count):
    """A third words, a third title words, a third authors."""
    rng = random.Random(7)
    queries = [rng.choice(WORDS) for _ in range(count // 3)]
    queries += [f"title:{rng.choice(WORDS)}" for _ in range(count // 3)]
    queries += [f'author:"{rng.choice(FIRST)} {rng.choice(LAST)}"' for _ in range(count - len(queries))]
    return queries


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=DEFAULT_BUILD)
    parser.add_argument("--baseline", help="another build to compare the first figure with")
    parser.add_argument("--files", type=int, default=10000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--searches", type=int, default=101)
    parser.add_argument("--scale", action="store_true")
    parser.add_argument("--sizes", default="10000,200000")
    args = parser.parse_args()
    trellan = program(args.build, "trellan", "index_bench")
    if args.scale:
        scale(args, trellan)
        return

    with registered_workspace(trellan, "trellan-index-bench-") as (work, env):
        library = os.path.join(work, "library")
        make_library(library, args.files)
        database = os.path.join(work, "index.sqlite")
        index = [trellan, "index", "-q", "--jobs", "2", "--db", database, library]
        print(f"{args.files} files, {args.rounds} rounds, {os.cpu_count()} processors")

        if args.baseline:
            baseline = program(args.baseline, "trellan", "index_bench")
            # Each build with its filter registered in a registry of its own:
            # where registration writes may differ from build to build.
            baseline_env = dict(env, TRELLAN_REGISTRY=os.path.join(work, "baseline-registry.sqlite"))
            subprocess.run([baseline, "register"], env=baseline_env, check=True, stdout=subprocess.DEVNULL)
            times = {trellan: [], baseline: []}
            databases = {trellan: database, baseline: os.path.join(work, "baseline.sqlite")}
            for _ in range(args.rounds):
                for build, build_env in ((baseline, baseline_env), (trellan, env)):
                    for suffix in ("", "-wal", "-shm", "-lock"):
                        if os.path.exists(databases[build] + suffix):
                            os.remove(databases[build] + suffix)
                    times[build].append(timed([build, "index", "-q", "--jobs", "2", "--db", databases[build], library],
                                              build_env))
            (new, new_cpu), (old, old_cpu) = medians(times[trellan]), medians(times[baseline])
            print(f"1. index --jobs 2: {args.files / new:.0f} files/s, the baseline {args.files / old:.0f} files/s: "
                  f"{old / new:.2f}x of the baseline's files a second; processor time {new_cpu / old_cpu:.2f}x "
                  f"the baseline's")
            # The same queries, each build over its own index, in turn.
            searched = {trellan: [], baseline: []}
            for query in search_queries(args.searches):
                for build, build_env in ((baseline, baseline_env), (trellan, env)):
                    searched[build].append(timed([build, "search", "--db", databases[build], query], build_env))
            (new, new_cpu), (old, old_cpu) = medians(searched[trellan]), medians(searched[baseline])
            print(f"3. search, whole process: median {new * 1000:.2f} ms against the baseline's {old * 1000:.2f} ms: "
                  f"{new / old:.3f}x its time, {new_cpu / old_cpu:.3f}x its processor time")
            return

        dump_times, index_times, again_times = [], [], []
        for _ in range(args.rounds):
            dump_times.append(timed([trellan, "dump", "--json", "-q", "--jobs", "2", library], env))
            for suffix in ("", "-wal", "-shm"):
                if os.path.exists(database + suffix):
                    os.remove(database + suffix)
            index_times.append(timed(index, env))
            again_times.append(timed(index, env))
        (dump, dump_cpu), (first, first_cpu), (again, again_cpu) = map(medians, (dump_times, index_times, again_times))
        print(f"1. index --jobs 2: {args.files / first:.0f} files/s ({first * 1000:.0f} ms, {first_cpu * 1000:.0f} ms "
              f"processor); dump --json --jobs 2: {args.files / dump:.0f} files/s ({dump * 1000:.0f} ms, "
              f"{dump_cpu * 1000:.0f} ms processor); index at {dump / first * 100:.0f} % of dump "
              f"({dump_cpu / first_cpu * 100:.0f} % by processor time)")
        print(f"2. re-index of the unchanged library: {again * 1000:.0f} ms ({again_cpu * 1000:.0f} ms processor), "
              f"{again / first * 100:.1f} % of the first run")

        queries = search_queries(args.searches)
        search = medians([timed([trellan, "search", "--db", database, query], env) for query in queries])
        start = medians([timed([trellan, "--help"], env) for _ in queries])
        print(f"3. search, whole process: median {search[0] * 1000:.2f} ms ({search[1] * 1000:.2f} ms processor) "
              f"over {len(queries)} queries; start-up alone, trellan --help: {start[0] * 1000:.2f} ms")

        text = text_bytes(database)
        size = sum(os.path.getsize(database + s) for s in ("", "-wal") if os.path.exists(database + s))
        print(f"4. index size: {size / 1e6:.2f} MB for {text / 1e6:.2f} MB of text, {size / text:.2f}x")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Times `trellan dump --json` as a whole process against a direct TagLib read
of the same files (bench/taglib_read), in one run, alternating, and prints the
ratios, what two jobs gain over one and what a stream over each file costs
against its path (the two bindings of the filter); the same, with peak
resident memory, for the files laid out as real taggers write them and for
files with large pictures; then the peak resident memory of dump at 1,000
and 10,000 files.

The mix: the sample generator's six files and four more made with its
functions (a tagger's ID3v2.3 file with a picture and an ID3v1 tag, an
ID3v2.3 file with 90 KB Unicode values, an ASF file with many attributes, a
video file with a metadata library), COPIES copies of each.

usage: bench/dump_bench.py [--build DIR] [--copies N] [--rounds N]
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

from bench_support import DEFAULT_BUILD, load_generator, program, registered_workspace

PEAK_MEMORY = None  # bench/peak_memory, found in main


def extra_files(g):
    """Four files beyond the samples, written with the generator's functions."""
    picture = g.struct.pack("<B", 3)  # the APIC body: encoding, MIME type, picture type, description, data
    apic = ("APIC", bytes([0]) + b"image/jpeg\0" + bytes([3]) + b"Cover\0" + bytes(range(256)) * 40)
    yield "tagger.mp3", g.id3v2(3, [
        g.text_frame("TIT2", g.LATIN1, "Harbour Lights"),
        g.text_frame("TPE1", g.LATIN1, "Mira Okonkwo"),
        g.text_frame("TALB", g.LATIN1, "Night Ferries"),
        g.text_frame("TRCK", g.LATIN1, "3/11"),
        g.text_frame("TYER", g.LATIN1, "2019"),
        g.text_frame("TCON", g.LATIN1, "(13)"),
        g.comment_frame("COMM", g.LATIN1, "", "Recorded live at the pier"),
        g.user_text_frame(g.LATIN1, "REPLAYGAIN_TRACK_GAIN", "-6.20 dB"),
        apic,
    ], padding=1024) + g.silent_frames(8) + g.id3v1(
        "Harbour Lights", "Mira Okonkwo", "Night Ferries", "2019", "Recorded live at the pier", 3, 13)

    long_text = ("Ωμέγα – 東京の夜 – Ελληνικά – Кириллица – עברית – हिन्दी ✓ " * 700)[:45000]
    yield "long-unicode.mp3", g.id3v2(3, [
        g.text_frame("TIT2", g.UTF16, "Long Unicode values: " + long_text[:200]),
        g.text_frame("TPE1", g.UTF16, "Ensemble Ὀδυσσεύς"),
        g.comment_frame("COMM", g.UTF16, "", long_text),
        g.comment_frame("USLT", g.UTF16, "", long_text[:20000]),
    ]) + g.silent_frames(4)

    extended = [("WM/AlbumTitle", g.STRING, "Field Recordings"), ("WM/Year", g.STRING, "2021"),
                ("WM/Genre", g.STRING, "Ambient"), ("WM/Composer", g.STRING, "A. Composer"),
                ("WM/Publisher", g.STRING, "Tidal Label"), ("WM/TrackNumber", g.DWORD, 7)]
    extended += [(f"WM/Custom{i:02}", g.STRING, f"custom value {i}") for i in range(24)]
    yield "player.wma", g.build_asf(
        g.guid("7E1A0004-0000-4000-8000-000000000004"),
        ("Tide Tables", "Field Unit", "(C) 2021 Tidal Label", "Waves at dawn", ""),
        extended, [(1, "WM/Lyrics", g.STRING, "no words, only water")])

    library = [(1, 0, f"WM/Chapter{i:02}", g.STRING, f"Chapter {i}") for i in range(40)]
    yield "muxer.wmv", g.build_asf(
        g.guid("7E1A0005-0000-4000-8000-000000000005"),
        ("Coastline", "Camera Crew", "", "A film about the coast", ""),
        [("WM/Year", g.STRING, "2020"), ("WM/Genre", g.STRING, "Documentary")],
        [(1, "WM/Language", g.STRING, "en-gb")], library=library, video=True)


def picture_files(g):
    """Large pictures, as stores and scanners put them in: a 12 MiB PNG in an
    ID3v2.3 tag, two 8 MiB pictures in a WMA file's Metadata Library."""
    def noise(size, seed):
        return bytes((seed * 2654435761 + i * 40503) >> 8 & 0xFF for i in range(256)) * (size // 256)
    png = b"\x89PNG\r\n\x1a\n" + noise(12 << 20, 12)
    apic = ("APIC", bytes([0]) + b"image/png\0" + bytes([3]) + b"\0" + png)
    yield "picture.mp3", g.id3v2(3, [g.text_frame("TIT2", g.LATIN1, "Cover"),
                                     g.text_frame("TPE1", g.LATIN1, "Store"), apic]) + g.silent_frames(3)
    pictures = [(0, 0, "WM/Picture", g.BINARY,
                 bytes([3 + seed]) + g.struct.pack("<I", 8 << 20) + g.utf16z("image/jpeg") + g.utf16z("")
                 + noise(8 << 20, seed)) for seed in (1, 2)]
    yield "pictures.wma", g.build_asf(g.guid("7E1A0007-0000-4000-8000-000000000007"),
                                      ("Two covers", "Store", "", "", ""), [], [], library=pictures)


def write_files(folder, files, copies=1):
    paths = []
    for name, data in files:
        for copy in range(copies):
            path = os.path.join(folder, f"{copy:05}-{name}")
            with open(path, "wb") as out:
                out.write(data)
            paths.append(path)
    return paths


def make_mix(folder, copies):
    g = load_generator()
    return write_files(folder, list(g.samples()) + list(extra_files(g)), copies)


def timed(command, env, stdin=None):
    """Wall time of one run, in seconds."""
    start = time.perf_counter()
    process = subprocess.run(command, env=env, stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    if process.returncode not in (0, 1):
        sys.exit(f"dump_bench: {command[0]} failed with {process.returncode}")
    return elapsed


def peak_memory(command, env, stdin=None):
    """The peak resident memory of one run, in KiB, measured by bench/peak_memory
    (a process started from here would be charged with this script's memory)."""
    process = subprocess.run([PEAK_MEMORY] + command, env=env, stdin=stdin, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True)
    if process.returncode not in (0, 1):
        sys.exit(f"dump_bench: {command[0]} failed with {process.returncode}")
    return int(process.stdout.split()[-1])


def compare(label, commands, env, rounds, memory=False):
    """Runs the commands in turn, `rounds` times; the median of each (and of
    its peak resident memory)."""
    times = {name: [] for name in commands}
    peaks = {name: [] for name in commands}
    for _ in range(rounds):
        for name, command in commands.items():
            times[name].append(timed(command, env))
            if memory:
                peaks[name].append(peak_memory(command, env))
    medians = {name: statistics.median(values) for name, values in times.items()}
    base = medians["taglib"]
    print(f"\n{label}")
    for name, value in medians.items():
        line = f"  {name:<22} {value * 1000:8.1f} ms   {value / base:5.2f}x"
        if memory:
            rss = statistics.median(peaks[name])
            line += f"   {rss / 1024:6.1f} MiB   {rss / statistics.median(peaks['taglib']):5.2f}x"
        print(line)
    return medians


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=DEFAULT_BUILD)
    parser.add_argument("--copies", type=int, default=80)
    parser.add_argument("--rounds", type=int, default=15)
    args = parser.parse_args()
    trellan = program(args.build, "trellan", "dump_bench")
    taglib = program(args.build, "taglib_read", "dump_bench")
    global PEAK_MEMORY
    PEAK_MEMORY = program(args.build, "peak_memory", "dump_bench")

    with registered_workspace(trellan, "trellan-bench-") as (work, env):
        mix = os.path.join(work, "mix")
        os.mkdir(mix)
        paths = make_mix(mix, args.copies)
        print(f"{len(paths)} files, {args.rounds} rounds, {os.cpu_count()} processors")

        mix_medians = compare("whole mix, as whole processes", {
            "taglib": [taglib] + paths,
            "dump --json --jobs 1": [trellan, "dump", "--json", "-q", "--jobs", "1"] + paths,
            "dump --json --jobs 2": [trellan, "dump", "--json", "-q", "--jobs", "2"] + paths,
        }, env, args.rounds)
        scaling = mix_medians["dump --json --jobs 1"] / mix_medians["dump --json --jobs 2"]
        print(f"  two jobs against one       {scaling:5.2f}x")
        # The two bindings, in turn: a stream over each file (as Windows
        # Search binds, and the default) against the path.
        bound = compare("the whole mix by stream and by path", {
            "taglib": [taglib] + paths,
            "--bind path": [trellan, "dump", "--json", "-q", "--jobs", "1", "--bind", "path"] + paths,
            "--bind stream": [trellan, "dump", "--json", "-q", "--jobs", "1", "--bind", "stream"] + paths,
        }, env, args.rounds)
        print(f"  stream against path        {bound['--bind stream'] / bound['--bind path']:5.2f}x")
        long_files = [p for p in paths if p.endswith("long-unicode.mp3")]
        compare("the long-value file alone", {
            "taglib": [taglib] + long_files,
            "dump --json --jobs 1": [trellan, "dump", "--json", "-q", "--jobs", "1"] + long_files,
        }, env, args.rounds)

        g = load_generator()
        layouts = os.path.join(work, "layouts")
        os.mkdir(layouts)
        layout_paths = write_files(layouts, g.real_world_samples(), args.copies)
        compare(f"the files laid out as real taggers write them ({len(layout_paths)} files)", {
            "taglib": [taglib] + layout_paths,
            "dump --json --jobs 1": [trellan, "dump", "--json", "-q", "--jobs", "1"] + layout_paths,
        }, env, args.rounds, memory=True)
        pictures = os.path.join(work, "pictures")
        os.mkdir(pictures)
        for path in write_files(pictures, picture_files(g)):
            compare(f"{os.path.basename(path)[6:]} alone", {
                "taglib": [taglib, path],
                "dump --json --jobs 1": [trellan, "dump", "--json", "-q", "--jobs", "1", path],
            }, env, args.rounds, memory=True)

        print("\npeak resident memory of dump --json, files from a list")
        for count in (1000, 10000):
            listing = os.path.join(work, f"list-{count}")
            with open(listing, "w") as out:
                for i in range(count):
                    out.write(paths[i % len(paths)] + "\n")
            with open(listing) as source:
                rss = peak_memory([trellan, "dump", "--json", "-q", "--files-from", "-"], env, stdin=source)
            print(f"  {count:>6} files  {rss / 1024:7.1f} MiB")


if __name__ == "__main__":
    main()

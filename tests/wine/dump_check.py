#!/usr/bin/env python3
"""Runs `trellan.exe dump --json` under Wine on media file names whose
filter is found through the registry, with the wmvcore test double serving
scripted attributes, and compares the routed chunks exactly. With
--real-file, also dumps a real media file over Wine's own wmvcore.dll, which
has no working metadata editor, and with the runtime disabled: the dump must
name the runtime's answer, and that it is missing.

usage: dump_check.py --wine LOADER --exe WINPATH --media-dir DIR --media-winpath WINPATH
                     [--real-file NAME]
Prints one line per check and a closing 'N passed, N failed' line; exits
non-zero when a check fails."""

import argparse
import json
import os
import sys

from wine_registry import Checks, Wine, WineError

# Per file: the double's lines (STREAM|NAME|TYPE|VALUE) and the chunks the
# dump must show: body text, title, author, comments.
FILES = [
    {
        "name": "night train.mp3",
        "attributes": [
            "0|Title|string|Night Train",
            "0|Author|string|The Lanterns",
            "0|WM/AlbumTitle|string|Rails & \"Roads\"",
            "0|WM/Year|string|1999",
            "0|WM/TrackNumber|string|7",
            "0|Description|string|Recorded live at the depot",
            "0|WM/Genre|string|Blues",
        ],
        "body": "Night Train\r\nThe Lanterns\r\nRails & \"Roads\"\r\n1999\r\nRecorded live at the depot\r\nBlues\r\n",
        "values": ["Night Train", "The Lanterns", "Recorded live at the depot"],
    },
    {
        "name": "Interview.WMA",
        "attributes": [
            "0|title|string|Interview",
            "0|WM/Year|dword|2004",
            "0|COPYRIGHT|string|(c) Radio Nord",
            "0|WM/Publisher|string|Radio Nord",
            "0|Author|string|",
        ],
        "body": "Interview\r\n(c) Radio Nord\r\nRadio Nord\r\n",
        "values": ["Interview", "", ""],
    },
    {
        "name": "clip.wmv",
        "attributes": [
            "0|Title|string|Harbour",
            "1|Title|string|Harbour (camera 1)",
            "2|Author|string|Crew Two",
            "0|WM/Composer|string|Åsa Lind",
        ],
        "body": "Harbour\r\nHarbour (camera 1)\r\nCrew Two\r\nÅsa Lind\r\n",
        "values": ["Harbour (camera 1)", "Crew Two", ""],
    },
    {
        "name": "show.asf",
        "attributes": [
            "0|Description|string|Episode 12",
            "0|WM/Lyrics|string|la la la",
        ],
        "body": "Episode 12\r\nla la la\r\n",
        "values": ["", "", "Episode 12"],
    },
]

PROPERTIES = [
    (1, 1, "{B725F130-47EF-101A-A5F1-02608C9EEBAC}", 19, "PID_STG_CONTENTS"),
    (2, 2, "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}", 2, "PIDSI_TITLE"),
    (3, 2, "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}", 4, "PIDSI_AUTHOR"),
    (4, 2, "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}", 6, "PIDSI_COMMENTS"),
]


def write_media(media_dir):
    os.makedirs(media_dir, exist_ok=True)
    lines = ["# attributes served by the wmvcore test double"]
    for entry in FILES:
        lines.append(entry["name"])
        lines += [f"{entry['name']}|{attribute}" for attribute in entry["attributes"]]
        with open(os.path.join(media_dir, entry["name"]), "wb"):
            pass
    for name in ["locked.mp3", "notes.ogg", "broken.asf"]:
        with open(os.path.join(media_dir, name), "wb"):
            pass
    lines.append("broken.asf|0|Title|string|Half")
    lines.append("broken.asf|0|Author|fail|")
    with open(os.path.join(media_dir, "attributes.txt"), "w", encoding="utf-8", newline="\r\n") as script:
        script.write("\n".join(lines) + "\n")


def parse_records(checks, out, count, label):
    records = []
    for line in out.splitlines():
        line = line.strip()
        if line.startswith("{"):
            try:
                records.append(json.loads(line))
            except ValueError as error:
                checks.check(False, f"{label}: JSON line", f"{error}: {line}")
    checks.check(len(records) == count, f"{label}: {count} records", f"found {len(records)} in {out!r}")
    return records


def check_chunks(checks, record, entry):
    name = entry["name"]
    checks.check(record.get("status", "").startswith("S_OK"), f"{name}: status S_OK", record.get("status"))
    chunks = record.get("chunks", [])
    checks.check(len(chunks) == 4, f"{name}: four chunks", f"found {len(chunks)}")
    for chunk, (ident, flags, propset, propid, prop) in zip(chunks, PROPERTIES):
        shape = (chunk.get("id"), chunk.get("flags"), chunk.get("propset"), chunk.get("propid"),
                 chunk.get("property"), chunk.get("break"), chunk.get("source"))
        checks.check(shape == (ident, flags, propset, propid, prop, 0, 1), f"{name}: chunk {ident} is {prop}",
                     f"found {shape}")
    if len(chunks) == 4:
        checks.check(chunks[0].get("text") == entry["body"], f"{name}: body text",
                     f"expected {entry['body']!r}, found {chunks[0].get('text')!r}")
        for chunk, expected, what in zip(chunks[1:], entry["values"], ["title", "author", "comments"]):
            checks.check(chunk.get("value") == expected, f"{name}: {what} {expected!r}",
                         f"found {chunk.get('value')!r}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--media-dir", required=True)
    parser.add_argument("--media-winpath", required=True)
    parser.add_argument("--real-file", help="a real media file in the media folder")
    options = parser.parse_args()

    checks = Checks()
    wine = Wine(options.wine)
    write_media(options.media_dir)
    env = {"TRELLAN_WMVCORE_SCRIPT": options.media_winpath + "\\attributes.txt"}

    def path(name):
        return options.media_winpath + "\\" + name

    try:
        print("dump through the registry")
        code, out, err = wine.run(options.exe, "dump", "--json", *[path(entry["name"]) for entry in FILES], env=env)
        checks.check(code == 0, "dump exits 0", f"exit {code}: {err}")
        for record, entry in zip(parse_records(checks, out, len(FILES), "dump"), FILES):
            checks.check(record.get("file") == path(entry["name"]), f"{entry['name']}: record in order",
                         record.get("file"))
            check_chunks(checks, record, entry)

        print("failures")
        failures = [
            ("locked.mp3", "FILTER_E_ACCESS (0x80041703)", "the double cannot open it"),
            ("broken.asf", "FILTER_E_ACCESS (0x80041703)", "a header read fails"),
        ]
        for name, status, why in failures:
            code, out, err = wine.run(options.exe, "dump", "--json", path(name), env=env)
            checks.check(code == 1, f"{name}: dump exits 1 ({why})", f"exit {code}")
            for record in parse_records(checks, out, 1, name):
                checks.check(record.get("status") == status, f"{name}: status {status}", record.get("status"))
                checks.check("media-format runtime" not in record.get("error", ""),
                             f"{name}: the cause is the file's, not the runtime's, which works", record.get("error"))
        code, out, err = wine.run(options.exe, "dump", "--json", path("notes.ogg"), env=env)
        checks.check(code == 1, "notes.ogg: dump exits 1 (no filter registered)", f"exit {code}")
        for record in parse_records(checks, out, 1, "notes.ogg"):
            checks.check(".ogg" in record.get("error", ""), "notes.ogg: the error names the extension",
                         record.get("error"))

        if options.real_file:
            print("a real file over Wine's own wmvcore.dll")
            builtin = dict(env, WINEDLLOVERRIDES="mscoree,mshtml=;wmvcore=b")
            name = options.real_file
            # Bound by stream (the default, as Windows Search binds), Wine's
            # reader either reads the file or is named with its answer.
            code, out, err = wine.run(options.exe, "dump", "--json", path(name), env=builtin)
            for record in parse_records(checks, out, 1, name + " by stream"):
                cause = record.get("error", "")
                checks.check(record.get("status") == "S_OK (0x00000000)" or
                             ("synchronous reader" in cause and "OpenStream answers" in cause),
                             f"{name}: by stream, read or the reader's answer named", cause)
            # By path, its editor answers E_NOTIMPL, and the cause says so.
            code, out, err = wine.run(options.exe, "dump", "--json", "--bind", "path", path(name), env=builtin)
            checks.check(code == 1, f"{name}: dump exits 1", f"exit {code}")
            for record in parse_records(checks, out, 1, name):
                checks.check(record.get("status") == "FILTER_E_ACCESS (0x80041703)", f"{name}: status FILTER_E_ACCESS",
                             record.get("status"))
                cause = record.get("error", "")
                checks.check("media-format runtime" in cause and "E_NOTIMPL (0x80004001)" in cause,
                             f"{name}: the cause names the runtime's answer E_NOTIMPL", cause)

            print("a real file where the runtime is missing (wmvcore.dll disabled)")
            missing = dict(env, WINEDLLOVERRIDES="mscoree,mshtml=;wmvcore=")
            code, out, err = wine.run(options.exe, "dump", "--json", path(name), env=missing)
            checks.check(code == 1, f"{name}: dump exits 1, the filter loaded without the runtime", f"exit {code} {err}")
            for record in parse_records(checks, out, 1, name):
                checks.check(record.get("status") == "FILTER_E_ACCESS (0x80041703)",
                             f"{name}: Init fails cleanly with FILTER_E_ACCESS", record.get("status"))
                cause = record.get("error", "")
                checks.check("media-format runtime (wmvcore.dll) cannot be loaded" in cause,
                             f"{name}: the cause names the missing runtime", cause)
    except WineError as error:
        checks.check(False, "wine", str(error))

    print(f"dump: {checks.passed} passed, {checks.failed} failed")
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

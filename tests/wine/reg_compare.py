"""Compares two .reg files by their keys and values, whatever the order of
keys and values and the file's encoding (UTF-16LE with a mark, or UTF-8).
Exits 1, naming the first keys that differ, when they do not hold the same.

usage: reg_compare.py EXPECTED ACTUAL
"""

import sys


def load(path):
    data = open(path, "rb").read()
    text = data[2:].decode("utf-16-le") if data[:2] == b"\xff\xfe" else data.decode("utf-8")
    keys, key, pending = {}, None, ""
    for line in text.replace("\r\n", "\n").split("\n"):
        if pending:
            line = line.lstrip(" ")
        if line.endswith("\\") and (pending or "=hex" in line):
            pending += line[:-1]
            continue
        line, pending = pending + line, ""
        if line.startswith("["):
            key = line
            keys.setdefault(key, set())
        elif line and key is not None:
            keys[key].add(line)
    return keys


def main():
    expected, actual = load(sys.argv[1]), load(sys.argv[2])
    differing = sorted(k for k in set(expected) | set(actual) if expected.get(k) != actual.get(k))
    for key in differing[:5]:
        missing = sorted(expected.get(key, set()) - actual.get(key, set()))
        extra = sorted(actual.get(key, set()) - expected.get(key, set()))
        print(f"  {key}: missing {missing[:3]}, extra {extra[:3]}")
    values = sum(len(v) for v in expected.values())
    print(f"  {len(expected)} keys, {values} values; {len(differing)} keys differ")
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())

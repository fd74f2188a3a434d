#!/usr/bin/python3
"""Compares the title, author and comments that Trellan reads (trellan dump --json --module) with what
python3-mutagen reads, over thousands of generated files of random but valid layouts and the taggers' faults
that readers tolerate. Fixed seeds: a failure repeats. Mutagen leaves some choices to its caller, made here
as Trellan documents them:
  - MP3: per field, ID3v2 over APE over ID3v1; several values join with "; "; the comment is the first COMM
    without a description, else the first with one, never one described "iTun...".
  - ASF: names compared without regard to case; a field given several times takes the last file-level value
    (stream 0) in the default language (index 0) under the Content Description's spelling, else the last;
    in the order Content Description, then the other objects as the header holds them.
  - Damage: both leave out a frame whose id is not valid (mutagen walks past it at its size; so does Trellan,
    which the generator lets land on a frame, padding or the tag's end) and one whose text encoding no version
    defines. A frame, chunk or object that runs past its container Trellan leaves out with all after it in that
    container; mutagen reads what the tag holds of such an ID3 frame, reads the tag in an ID3 chunk that runs
    past the file, and refuses an ASF header with such an object. Mutagen then reads the same file with the
    damaged part and what follows it in its container cut out, and Trellan must read the damaged file as that.
Where Trellan reads otherwise on purpose, DIFFERENCES says why; the field must then be what the tag says.

usage: differential_check.py --build DIR [--count N] [--seed N] [--keep DIR]
"""
import argparse, json, os, random, shutil, subprocess, sys, tempfile, zlib  # noqa: E401

try:
    import mutagen.apev2, mutagen.asf, mutagen.id3, mutagen.wave  # noqa: E401
    from mutagen.id3._id3v1 import find_id3v1
except ImportError:
    sys.exit("differential_check: python3-mutagen is missing (apt-get install python3-mutagen, run by "
             "/usr/bin/python3); the check cannot run without its independent reader")
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "scripts"))
import make_samples as g  # noqa: E402

DIFFERENCES = {  # layouts that Trellan reads otherwise on purpose, and why
    "utf16-be-unmarked": "UTF-16 without a byte-order mark whose zero bytes stand first is big-endian Latin "
                         "text; mutagen decodes every unmarked field as little-endian and gives CJK noise",
    "unsync-extended": "an unsynchronised 2.3 tag with an extended header: mutagen reads the extended header's "
                       "length past the tag, where the audio's sync fails its unsynchronisation check, and "
                       "then reads the tag as stored",
    "riff-unpadded": "a RIFF chunk of odd size without its pad byte, as some writers leave it: Trellan takes "
                     "the next chunk where its id stands; mutagen skips a pad byte that is not there",
    "short-tag": "a tag declared a little short of its last frame: Trellan reads the frame whole, as the file "
                 "holds it; mutagen cuts it (and, with 2.4 sizes as plain numbers, may take them as "
                 "synchsafe and lose frames)",
}
FIELDS, IDS = ("title", "author", "comments"), {"title": "TIT2", "author": "TPE1", "comments": "COMM"}
LATIN = ["harbour", "Lights", "Mira", "ferries", "café", "naïve", "Straße", "ÿes", "Ånd", "tide", "pier", "7"]
WIDE = LATIN + ["Ωμέγα", "東京の夜", "Кириллица", "עברית", "✓", "𝄞clef"]
V22 = {"TIT2": "TT2", "TPE1": "TP1", "COMM": "COM", "TALB": "TAL", "TXXX": "TXX", "APIC": "PIC"}
CODES = {"latin1": 0, "utf16": 1, "unmarked": 1, "utf16be": 2, "utf8": 3}


def words(rng, latin=False):  # a long one now and then, for 2.4 sizes of two bytes
    return " ".join(rng.choice(LATIN if latin else WIDE) for _ in range(
        rng.randint(1, 4) if latin or rng.random() < 0.95 else 40))


def unsync(data):
    out = bytearray()
    for i, byte in enumerate(data):
        after = data[i + 1] if i + 1 < len(data) else 0
        out += bytes([byte, 0]) if byte == 0xFF and (after == 0 or after >= 0xE0) else bytes([byte])
    return bytes(out)


def encode(kind, big, text, end=False):
    if kind in ("latin1", "utf8"):
        return text.encode("latin-1" if kind == "latin1" else "utf-8") + b"\0" * end
    mark = (b"\xfe\xff" if big else b"\xff\xfe") if kind == "utf16" else b""
    return mark + text.encode("utf-16-be" if big or kind == "utf16be" else "utf-16-le") + b"\0\0" * end


class Tag:
    """An ID3v2 tag being written: its frames (id, data), what they say, and the deliberate differences."""

    def __init__(self, rng, version):
        self.rng, self.version, self.frames, self.said, self.differences = rng, version, [], {}, set()
        self.plain = version == 4 and rng.random() < 0.1  # 2.4 sizes as plain numbers, as one player wrote them
        self.twin, self.lost = None, []  # the tag with its damaged frame cut out (for mutagen); what it lost

    def add(self, frame_id, texts, head=b"", meaning=None):
        """A text frame (several values) or, with `head` (the language), a comment: description and text."""
        kind = self.rng.choice(["latin1", "utf16", "unmarked"] + ["utf16be", "utf8"] * (self.version == 4))
        latin = all(t == t.encode("latin-1", "ignore").decode("latin-1") for t in texts)
        kind = "utf16" if kind == "latin1" and not latin else kind
        big = self.rng.random() < 0.5 and (kind != "unmarked" or latin)
        if kind == "unmarked" and big:
            self.differences.add(("utf16-be-unmarked", frame_id))
        parts = [encode(kind, big, texts[0], bool(head))] + [encode(kind, big, t) for t in texts[1:]]
        separator = b"" if head else b"\0" if kind in ("latin1", "utf8") else b"\0\0"
        self.frames.append((frame_id, bytes([CODES[kind]]) + head + separator.join(parts)))
        self.said[self.frames[-1]] = meaning or "; ".join(texts)

    def intended(self, field):
        """What the tag says for a field, as Trellan chooses (None: nothing)."""
        said = [self.said[f] for f in self.frames if f in self.said and f[0] == IDS[field] and f not in self.lost]
        if field == "comments":
            said = sorted((c for c in said if not c[0].startswith("iTun")), key=lambda c: c[0] != "")
            said = [c[1] for c in said]
        return said[0] if said else None

    def frame(self, frame_id, data, tag_unsync, old_id):
        """A frame with flags at random: 2.3 compression; 2.4 unsynchronisation, data-length indicator,
        compression; the 2.2 id padded with a zero where asked, as an old player's upgrade leaves it."""
        rng, version, flags, length = self.rng, self.version, 0, len(data)
        if version == 2:
            return V22.get(frame_id, frame_id[:3]).encode() + length.to_bytes(3, "big") + data
        if version == 3 and rng.random() < 0.08:
            data, flags = length.to_bytes(4, "big") + zlib.compress(data), 0x0080
        elif version == 4:
            if rng.random() < 0.08:
                data, flags = zlib.compress(data), 0x0009
            if tag_unsync or rng.random() < 0.15:
                data, flags = unsync(data), flags | (0x0002 if not tag_unsync or rng.random() < 0.5 else 0)
            if flags & 0x0008 or rng.random() < 0.15:
                data, flags = g.syncsafe(length) + data, flags | 0x0001
        name = (V22[frame_id] + "\0" if old_id and frame_id in V22 else frame_id).encode()
        size = g.syncsafe(len(data)) if version == 4 and not self.plain else len(data).to_bytes(4, "big")
        return name + size + flags.to_bytes(2, "big") + data

    def build(self):
        rng, version, frames = self.rng, self.version, self.frames
        if rng.random() < 0.05:  # a text encoding that no version defines
            n = rng.randrange(len(frames))
            frames[n] = (frames[n][0], bytes([rng.choice([4, 9, 0x80, 0xFF])]) + frames[n][1][1:])
        rng.shuffle(frames)
        tag_unsync, fault = rng.random() < 0.15, rng.random() if version > 2 else 0.5
        old_id = rng.randrange(1, len(frames)) if len(frames) > 1 and rng.random() < 0.3 else None  # not first
        parts = [self.frame(i, d, tag_unsync and version == 4, n == old_id) for n, (i, d) in enumerate(frames)]
        sources = list(frames)  # the frame of each part, None for the faults
        at = rng.randrange(len(parts))  # the taggers' faults, before the last frame
        if fault < 0.06 and version == 4:  # a data-length indicator on a frame too short to hold one
            parts.insert(at, b"TENC" + g.syncsafe(1) + b"\0\x01\0")
        elif fault < 0.12:  # a compressed frame that does not inflate
            parts.insert(at, b"TCOP\0\0\0\x0c" + (b"\0\x09" if version == 4 else b"\0\x80") + b"\0\0\0\x09not zlib")
        sources[at:at] = [None] * (len(parts) - len(sources))
        if rng.random() < 0.15:  # an id padded with a space or with a character no id has, not first
            bad, at = list(rng.choice(["TCP ", "TCOP", "TALB", "WXXX"])), rng.randint(1, len(parts))
            bad[rng.randrange(3 if version == 2 else 4)] = rng.choice(" #a-~")
            parts.insert(at, self.frame("".join(bad), b"\0junk", False, False))
            sources.insert(at, None)
        # A frame that runs past the tag, not first (mutagen fails on an extended-header flag before padding).
        overrun = rng.randrange(1, len(parts)) if len(parts) > 1 and rng.random() < 0.1 else None
        if overrun is not None:
            size = sum(map(len, parts)) * 2 + rng.randint(600, 3000)
            head, width = parts[overrun], 3 if version == 2 else 4
            field = size.to_bytes(width, "big") if version < 4 or self.plain else g.syncsafe(size)
            parts[overrun] = head[:width] + field + head[2 * width:]
            self.twin, self.lost = parts[:overrun] + [bytes(sum(map(len, parts[overrun:])))], sources[overrun:]
        flags = 0x80 * tag_unsync | 0x40 * (fault > 0.8)  # extended-header flag...
        padding = rng.choice([0, 0, 10, 64, 500])
        short = version > 2 and not padding and not tag_unsync and overrun is None and rng.random() < 0.3
        footer = version == 4 and not padding and not short and rng.random() < 0.3
        if version < 4 and tag_unsync and fault > 0.9:
            self.differences.add(("unsync-extended", None))
        if short:
            self.differences.add(("short-tag", None if self.plain else frames[-1][0]))
        cut = short * rng.randint(1, 4)

        def assemble(parts):
            body = b"".join(parts)
            if fault > 0.9:  # ...with an extended header in half of them
                body = (b"\0\0\0\x06\x01\x00" if version == 4 else b"\0\0\0\x06" + bytes(6)) + body
            body = unsync(body + bytes(padding)) if version < 4 and tag_unsync else body + bytes(padding)
            head = bytes([version, 0, flags | 0x10 * footer]) + g.syncsafe(len(body) - cut)
            return b"ID3" + head + body + (b"3DI" + head if footer else b"")
        self.twin = self.twin and assemble(self.twin)
        return assemble(parts)


def chunk(name, data):
    return name + len(data).to_bytes(4, "little") + data


def mp3_file(rng):
    """An ID3v2 tag, at the start or in a RIFF chunk; APE and ID3v1 tags."""
    version = rng.choice([2, 3, 4])
    tag = Tag(rng, version)
    tag.add("TALB", [words(rng)])
    if rng.random() < 0.9:
        tag.add("TIT2", [words(rng) for _ in range(rng.choice([1, 1, 2]) if version == 4 else 1)])
    if rng.random() < 0.8:
        tag.add("TPE1", [words(rng)])
    comments = ((rng.choice(["", "", "notes", "iTunNORM", "Songs-DB_Custom1"]), rng.choice([b"eng", b"deu", b"XXX"]))
                for _ in range(rng.randint(0, 3)))
    for description, language in dict.fromkeys(comments):
        text = words(rng)
        tag.add("COMM", [description, text], language, (description, text))
    tag.frames += dict.fromkeys(("TXXX", b"\0" + rng.choice([b"REPLAYGAIN_TRACK_GAIN\0-6 dB", b"DESCRIPTION\0a text"]))
                                for _ in range(rng.randint(0, 2)))
    tag.frames += [("PRIV", b"owner\0" + rng.randbytes(40))] * (version > 2 and rng.random() < 0.3)
    if rng.random() < 0.2:
        tag.frames.append(("APIC", b"\0" + (b"JPG" if version == 2 else b"image/jpeg\0") + b"\3cover\0"
                           + rng.randbytes(rng.choice([50, 300]))))
    audio = g.silent_frames(4)
    if version > 2 and rng.random() < 0.12:  # MPEG audio in RIFF, the tag in a chunk (after an odd one at times)
        fmt = chunk(b"fmt ", bytes.fromhex("5500010080bb0000e80300000100000000000c0001000100000000000000"))
        name, order = rng.choice([b"id3 ", b"ID3 "]), rng.choice([1, -1])
        odd, pad = [chunk(b"JUNK", b"odd")] * (rng.random() < 0.3), rng.random() < 0.5
        if odd and not pad:  # the pad byte after an odd chunk left out, as some writers do
            tag.differences.add(("riff-unpadded", None))
        odd = [b + b"\0" * pad for b in odd]
        overrun = rng.choice([None] * 4 + ["before", "tag"])  # a chunk whose size runs past the file

        def riff(id3, overrun):
            data = chunk(b"data", audio)
            tagged = id3 and chunk(name, id3 + bytes(16 + len(id3) % 2))  # room for mutagen, which reads an
            chunks = [tagged, data][::order] if tagged else [data]        # extended header's length past the tag
            if tagged and overrun == "tag":
                chunks = [data, tagged[:4] + (len(tagged) + 99).to_bytes(4, "little") + tagged[8:]]
            chunks = [b"JUNK" + (1 << 20).to_bytes(4, "little") + bytes(8)] * (overrun == "before") + chunks
            body = fmt + b"".join(odd + chunks)
            return b"RIFF" + (4 + len(body)).to_bytes(4, "little") + b"WAVE" + body
        content = riff(tag.build(), overrun)
        twin = (overrun == "tag" or tag.twin) and riff(None if overrun == "tag" else tag.twin, overrun)
        return content, tag, "riff", twin
    id3, after = tag.build(), audio
    if rng.random() < 0.25:
        after += g.ape([(k, words(rng).encode(), 0) for k in rng.sample(["Title", "Artist", "Comment", "Album"], 2)])
    if rng.random() < 0.3:
        after += g.id3v1(*(words(rng, True)[:30].strip() for _ in range(2)), "album", "2001",
                         words(rng, True)[:28].strip(), 1, 12)
    return id3 + after, tag, "mp3", tag.twin and tag.twin + after


def asf_file(rng):
    """The three header objects in any order, values in streams and languages."""
    cd = [words(rng) if rng.random() < 0.7 else "" for _ in range(3)]
    extended, metadata, library = [("WM/TrackNumber", g.DWORD, rng.randrange(30))], [], []
    for name in ("Title", "Author", "Description") * 2:
        where = rng.choice(["ecd", "meta", "lib", None, None, None])
        if where == "ecd":  # spelled otherwise than in the Content Description
            extended.append((rng.choice([name.lower(), name.upper()]), g.STRING, words(rng)))
        elif where == "meta":
            metadata.append((rng.choice([0, 0, 1, 2]), name, g.STRING, words(rng)))
        elif where == "lib":
            library.append((rng.choice([0, 0, 1]), rng.choice([0, 0, 1, 2]), name, g.STRING, words(rng)))
    objects = [g.content_description(cd[0], cd[1], "", cd[2], ""), g.extended_content_description(extended),
               g.header_extension(metadata, library)]
    rng.shuffle(objects)
    file_id = rng.randbytes(16)
    children = [g.file_properties(file_id), g.stream_properties(rng.random() < 0.3)] + objects
    header = lambda children: g.asf_object(  # noqa: E731
        g.ASF_HEADER, len(children).to_bytes(4, "little") + b"\1\2" + b"".join(children))
    data = g.asf_object(g.ASF_DATA, file_id + bytes(8) + b"\1\1")
    if rng.random() < 0.85:
        return header(children) + data, None, "asf", None
    at = rng.randrange(2, len(children))  # an object whose size runs past the header
    size = sum(map(len, children[at:])) + rng.randint(1, 500)
    children[at] = children[at][:16] + size.to_bytes(8, "little") + children[at][24:]
    return header(children) + data, None, "asf", header(children[:at]) + data


def id3_fields(tags):
    if tags is None:
        return {}
    joined = lambda frame: "; ".join(map(str, frame.text)) if frame is not None else ""  # noqa: E731
    comments = sorted((c for c in tags.getall("COMM") if not c.desc.startswith("iTun")), key=lambda c: c.desc != "")
    found = {"title": joined(tags.get("TIT2")), "author": joined(tags.get("TPE1")),
             "comments": joined(comments[0]) if comments else ""}
    return {k: v for k, v in found.items() if v}


def expected_mp3(path, kind):
    """What mutagen reads, merged per field (ID3v2, APE, ID3v1), and what APE and ID3v1 alone give."""
    if kind == "riff":
        return id3_fields(mutagen.wave.WAVE(path).tags), {}
    try:
        v2 = id3_fields(mutagen.id3.ID3(path, load_v1=False))
    except mutagen.id3.ID3NoHeaderError:
        v2 = {}
    try:
        ape = mutagen.apev2.APEv2(path)
        ape = {f: "; ".join(ape[k]) for f, k in zip(FIELDS, ("Title", "Artist", "Comment")) if k in ape}
    except mutagen.apev2.APENoHeaderError:
        ape = {}
    with open(path, "rb") as f:
        v1 = find_id3v1(f)[0] or {}
    below = {f: str(v1[k]).strip() for f, k in zip(FIELDS, ("TIT2", "TPE1", "COMM")) if k in v1}
    below = {k: v for k, v in {**below, **ape}.items() if v}
    return {**below, **v2}, below


def expected_asf(path, content):
    """What mutagen reads, chosen among streams and languages as Trellan chooses."""
    ecd_first = content.find(g.ASF_EXTENDED_CONTENT_DESCRIPTION) < content.find(g.ASF_HEADER_EXTENSION)
    values = []
    for name, value in list.__iter__(mutagen.asf.ASF(path).tags):  # in order, not grouped by name
        if isinstance(value, mutagen.asf.ASFUnicodeAttribute) and str(value):
            rank = 2 if value.stream is not None else 0 if name in ("Title", "Author", "Description") else \
                1 if ecd_first else 3
            values.append((rank, name, value.stream or 0, value.language or 0, str(value)))
    values.sort(key=lambda v: v[0])
    found = {}
    for field, name in zip(FIELDS, ("Title", "Author", "Description")):
        given = [v for v in values if v[1].lower() == name.lower()]
        own = [v for v in given if v[1:4] == (name, 0, 0)]
        if given:
            found[field] = (own if len(given) > 1 and own else given)[-1][4]
    return found


def trellan_fields(build, folder):
    trellan, module = (os.path.join(build, "bin", name) for name in ("trellan", "trellan.so"))
    for path in (trellan, module):
        if not os.path.exists(path):
            sys.exit(f"differential_check: {path} is missing; build the linux preset first")
    run = subprocess.run([trellan, "dump", "--json", "-q", "--module", module, folder], capture_output=True,
                         text=True, env=dict(os.environ, TRELLAN_REGISTRY=":memory:"))
    if run.returncode not in (0, 1):
        sys.exit(f"differential_check: trellan dump failed ({run.returncode}): {run.stderr.strip()}")
    properties = {"PIDSI_TITLE": "title", "PIDSI_AUTHOR": "author", "PIDSI_COMMENTS": "comments"}
    read = {}
    for record in map(json.loads, run.stdout.splitlines()):
        values = {properties[c["property"]]: c["value"] for c in record["chunks"]
                  if c.get("property") in properties and c["value"]}
        read[os.path.basename(record["file"])] = (record["status"].split()[0], values)
    return read


def deliberate(field, tag, got, below):
    """Whether Trellan reads `field` otherwise for one of DIFFERENCES, and reads what the tag says."""
    if tag is None or not any(frame in (None, IDS[field]) for _, frame in tag.differences):
        return False
    intended = tag.intended(field)
    return got.get(field, "") == (below.get(field, "") if intended is None else intended)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", required=True, help="the build folder (bin/trellan, bin/trellan.so)")
    parser.add_argument("--count", type=int, default=3000, help="files (default 3000; more for a larger run)")
    parser.add_argument("--seed", type=int, default=28)
    parser.add_argument("--keep", help="write the files here and keep them")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    folder = args.keep or tempfile.mkdtemp(prefix="trellan-differential-")
    os.makedirs(folder, exist_ok=True)
    twins = tempfile.mkdtemp(prefix="trellan-differential-twins-")  # what mutagen reads of damaged files
    written = {}
    for number in range(args.count):
        content, tag, kind, twin = asf_file(rng) if number % 5 == 4 else mp3_file(rng)
        name = f"{number:05}.{'wma' if kind == 'asf' else 'mp3'}"
        for where, data in ((folder, content), (twins, twin)):
            if data:
                with open(os.path.join(where, name), "wb") as f:
                    f.write(data)
        written[name] = (kind, tag, twin or content, os.path.join(twins if twin else folder, name))
    read = trellan_fields(args.build, folder)
    failures, excused = [], 0
    for name, (kind, tag, content, path) in written.items():
        expected, below = (expected_asf(path, content), {}) if kind == "asf" else expected_mp3(path, kind)
        status, got = read.get(name, ("missing", {}))
        differing = [f for f in FIELDS if got.get(f, "") != expected.get(f, "")]
        wrong = [f for f in differing if not deliberate(f, tag, got, below)]
        excused += bool(differing) and not wrong
        if status != "S_OK" or wrong:
            failures.append(f"{name} ({kind}, seed {args.seed}): Trellan {status} {got}; mutagen {expected}")
    shutil.rmtree(twins)
    if not args.keep:
        shutil.rmtree(folder)
    print("\n".join(failures[:25] + [f"differential_check: {len(written)} files, {len(failures)} disagreements, "
                                     f"{excused} that differ only as DIFFERENCES allows"]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

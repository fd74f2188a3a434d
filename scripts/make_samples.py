#!/usr/bin/env python3
"""Writes the sample media files in samples/ from scratch, with known tags.

Each file is small (a few hundred bytes to a few KiB): a minimal but valid
ASF header with an empty Data Object, or an ID3 tag with a few silent MPEG
frames. Besides the six samples, files laid out as real taggers, rippers and
gain tools write them (real_world_samples). samples/README.md lists what the
filter reads from each file.

Usage: scripts/make_samples.py [OUTPUT_DIR]   (default: samples/ next to this script's folder)
"""

import os
import struct
import sys
import uuid

# ---------------------------------------------------------------- ASF

def guid(text):
    """A GUID in the little-endian layout that ASF files store."""
    return uuid.UUID(text).bytes_le

ASF_HEADER = guid("75B22630-668E-11CF-A6D9-00AA0062CE6C")
ASF_FILE_PROPERTIES = guid("8CABDCA1-A947-11CF-8EE4-00C00C205365")
ASF_STREAM_PROPERTIES = guid("B7DC0791-A9B7-11CF-8EE6-00C00C205365")
ASF_CONTENT_DESCRIPTION = guid("75B22633-668E-11CF-A6D9-00AA0062CE6C")
ASF_EXTENDED_CONTENT_DESCRIPTION = guid("D2D0A440-E307-11D2-97F0-00A0C95EA850")
ASF_HEADER_EXTENSION = guid("5FBF03B5-A92E-11CF-8EE3-00C00C205365")
ASF_RESERVED_1 = guid("ABD3D211-A9BA-11CF-8EE6-00C00C205365")
ASF_METADATA = guid("C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA")
ASF_METADATA_LIBRARY = guid("44231C94-9498-49D1-A141-1D134E457054")
ASF_DATA = guid("75B22636-668E-11CF-A6D9-00AA0062CE6C")
ASF_AUDIO_MEDIA = guid("F8699E40-5B4D-11CF-A8FD-00805F5C442B")
ASF_VIDEO_MEDIA = guid("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B")
ASF_NO_ERROR_CORRECTION = guid("20FB5700-5B55-11CF-A8FD-00805F5C442B")

# ASF attribute data types.
STRING, BINARY, BOOL, DWORD, QWORD, WORD, GUID = range(7)


def utf16z(text):
    return text.encode("utf-16-le") + b"\0\0"


def asf_object(object_id, body):
    return object_id + struct.pack("<Q", 24 + len(body)) + body


def asf_value(kind, value, in_metadata):
    if kind == STRING:
        return utf16z(value)
    if kind == BINARY:
        return bytes(value)
    if kind == BOOL:  # 32-bit in the Extended Content Description, 16-bit in the Metadata objects
        return struct.pack("<H" if in_metadata else "<I", 1 if value else 0)
    if kind == DWORD:
        return struct.pack("<I", value)
    if kind == QWORD:
        return struct.pack("<Q", value)
    if kind == WORD:
        return struct.pack("<H", value)
    if kind == GUID:
        return guid(value)
    raise ValueError(kind)


def file_properties(file_id):
    body = file_id + struct.pack("<QQQQQQIIII", 0, 0, 0, 10_000_000, 10_000_000, 0, 2, 3200, 3200, 128_000)
    return asf_object(ASF_FILE_PROPERTIES, body)


def stream_properties(video):
    if video:
        bitmap = struct.pack("<IiiHHIIiiII", 40, 16, 16, 1, 24, 0x33564D57, 16 * 16 * 3, 0, 0, 0, 0)
        type_data = struct.pack("<IIBH", 16, 16, 2, len(bitmap)) + bitmap
        media = ASF_VIDEO_MEDIA
    else:
        type_data = struct.pack("<HHIIHHH", 0x0161, 2, 44100, 16000, 2973, 16, 0)  # WAVEFORMATEX, WMA
        media = ASF_AUDIO_MEDIA
    body = media + ASF_NO_ERROR_CORRECTION + struct.pack("<QIIHI", 0, len(type_data), 0, 1, 0) + type_data
    return asf_object(ASF_STREAM_PROPERTIES, body)


def content_description(title, author, copyright, description, rating):
    fields = [utf16z(f) if f else b"" for f in (title, author, copyright, description, rating)]
    return asf_object(ASF_CONTENT_DESCRIPTION, struct.pack("<5H", *map(len, fields)) + b"".join(fields))


def extended_content_description(attributes):
    body = struct.pack("<H", len(attributes))
    for name, kind, value in attributes:
        data = asf_value(kind, value, False)
        body += struct.pack("<H", len(utf16z(name))) + utf16z(name) + struct.pack("<HH", kind, len(data)) + data
    return asf_object(ASF_EXTENDED_CONTENT_DESCRIPTION, body)


def metadata_records(object_id, attributes):
    """attributes: (language, stream, name, kind, value); the Metadata object's language field is reserved (0)."""
    body = struct.pack("<H", len(attributes))
    for language, stream, name, kind, value in attributes:
        data = asf_value(kind, value, True)
        body += struct.pack("<HHHHI", language, stream, len(utf16z(name)), kind, len(data)) + utf16z(name) + data
    return asf_object(object_id, body)


def header_extension(metadata, library):
    data = b""
    if metadata:
        data += metadata_records(ASF_METADATA, [(0,) + a for a in metadata])
    if library:
        data += metadata_records(ASF_METADATA_LIBRARY, library)
    return asf_object(ASF_HEADER_EXTENSION, ASF_RESERVED_1 + struct.pack("<HI", 6, len(data)) + data)


def build_asf(file_id, description, extended, metadata, library=(), video=False):
    children = [file_properties(file_id), stream_properties(video), content_description(*description),
                extended_content_description(extended), header_extension(metadata, library)]
    header = asf_object(ASF_HEADER, struct.pack("<IBB", len(children), 1, 2) + b"".join(children))
    data = asf_object(ASF_DATA, file_id + struct.pack("<QH", 0, 0x0101))
    return header + data

# ---------------------------------------------------------------- MP3

LATIN1, UTF16, UTF16BE, UTF8 = range(4)


def encode(text, encoding, terminated=False):
    if encoding == LATIN1:
        data, nul = text.encode("latin-1"), b"\0"
    elif encoding == UTF16:
        data, nul = b"\xff\xfe" + text.encode("utf-16-le"), b"\0\0"
    elif encoding == UTF16BE:
        data, nul = text.encode("utf-16-be"), b"\0\0"
    else:
        data, nul = text.encode("utf-8"), b"\0"
    return data + (nul if terminated else b"")


def text_frame(frame_id, encoding, *values):
    """A text frame; several values are NUL-separated (ID3v2.4)."""
    separator = b"\0\0" if encoding in (UTF16, UTF16BE) else b"\0"
    return frame_id, bytes([encoding]) + separator.join(encode(v, encoding) for v in values)


def comment_frame(frame_id, encoding, description, text):
    """COMM and USLT: encoding, language, description, text."""
    return frame_id, bytes([encoding]) + b"eng" + encode(description, encoding, True) + encode(text, encoding)


def user_text_frame(encoding, description, text):
    return "TXXX", bytes([encoding]) + encode(description, encoding, True) + encode(text, encoding)


def syncsafe(value):
    return bytes([(value >> 21) & 0x7F, (value >> 14) & 0x7F, (value >> 7) & 0x7F, value & 0x7F])


def text_frame_without_mark(frame_id, text):
    """A UTF-16 text frame without a byte-order mark (little-endian), as some taggers write it."""
    return frame_id, bytes([UTF16]) + text.encode("utf-16-le")


def id3v2(version, frames, padding=64, plain_sizes=False, extended_header=False):
    """An ID3v2 tag. plain_sizes: 2.4 frame sizes as plain 32-bit numbers, as one
    widely used player wrote them; extended_header: a 2.3 extended header with a CRC."""
    body = b""
    if extended_header:
        body += struct.pack(">IHII", 10, 0x8000, padding, 0x1234ABCD)
    for frame_id, data in frames:
        size = syncsafe(len(data)) if version == 4 and not plain_sizes else struct.pack(">I", len(data))
        body += frame_id.encode("ascii") + size + b"\0\0" + data
    body += b"\0" * padding
    flags = 0x40 if extended_header else 0
    return b"ID3" + bytes([version, 0, flags]) + syncsafe(len(body)) + body


def ape(items):
    """An APEv2 tag with header and footer; items: (key, value bytes, flags: 0 text, 2 binary)."""
    body = b"".join(struct.pack("<II", len(value), flags) + key.encode("ascii") + b"\0" + value
                    for key, value, flags in items)
    def frame(header):
        return b"APETAGEX" + struct.pack("<IIII", 2000, len(body) + 32, len(items),
                                         0x80000000 | (0x20000000 if header else 0)) + b"\0" * 8
    return frame(True) + body + frame(False)


def lyrics3(lyrics):
    """A Lyrics3 version 2 tag."""
    content = b"LYRICSBEGIN" + b"IND00002" + b"10" + b"LYR" + b"%05d" % len(lyrics) + lyrics.encode("latin-1")
    return content + b"%06d" % len(content) + b"LYRICS200"


def id3v1(title, artist, album, year, comment, track, genre):
    def field(text, width):
        return text.encode("latin-1")[:width].ljust(width, b"\0")
    return (b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4)
            + field(comment, 28) + b"\0" + bytes([track, genre]))


def silent_frames(count):
    """MPEG-1 Layer III frames, 32 kbit/s, 48 kHz, mono, 96 bytes each, all zero after the header."""
    return (b"\xff\xfb\x14\xc0" + b"\0" * 92) * count

# ---------------------------------------------------------------- samples

def samples():
    yield "sample.mp3", id3v2(3, [
        text_frame("TIT2", UTF16, "Sample MP3 Title"),
        text_frame("TPE1", UTF16, "Sample MP3 Artist"),
        text_frame("TALB", UTF16, "Sample MP3 Album"),
        text_frame("TYER", UTF16, "2004"),
        text_frame("TCON", UTF16, "(8)"),
        text_frame("TRCK", UTF16, "2/9"),
        comment_frame("COMM", UTF16, "", "Sample MP3 comment \u2013 UTF-16"),
        text_frame("TCOP", UTF16, "\u00a9 2004 Sample Label"),
        text_frame("TCOM", UTF16, "Sample MP3 Composer"),
        user_text_frame(UTF16, "Mood", "Relaxed"),
    ]) + silent_frames(3)

    yield "sample-v24.mp3", id3v2(4, [
        text_frame("TPE1", UTF8, "Sample v2.4 Artist"),
        text_frame("TIT2", UTF8, "Sample v2.4 Title \u00dcml\u00e4ut"),
        text_frame("TDRC", UTF8, "2012-06-15"),
        text_frame("TCON", UTF8, "Electronic", "Ambient"),
        text_frame("TPE2", UTF8, "Sample v2.4 Album Artist"),
        comment_frame("COMM", UTF8, "", "Sample v2.4 comment in UTF-8 \u2713"),
        comment_frame("USLT", UTF8, "", "Sample lyrics line"),
        text_frame("TPUB", UTF8, "Sample v2.4 Publisher"),
        text_frame("TBPM", UTF8, "128"),
    ]) + silent_frames(2)

    yield "sample-v1.mp3", silent_frames(4) + id3v1(
        "Sample v1 Title", "Sample v1 Artist", "Sample v1 Album", "1998", "Sample v1 comment", 7, 17)

    yield "sample.wma", build_asf(
        guid("7E1A0001-0000-4000-8000-000000000001"),
        ("Sample WMA Title", "Sample WMA Author", "\u00a9 2008 Sample WMA", "Sample WMA description", "Sample rating"),
        [("WM/AlbumTitle", STRING, "Sample WMA Album"),
         ("WM/TrackNumber", DWORD, 4),
         ("WM/Year", STRING, "2008"),
         ("WM/Genre", STRING, "Classical"),
         ("WM/Mood", STRING, "Calm"),
         ("IsVBR", BOOL, True)],
        [(1, "WM/Composer", STRING, "Sample WMA Stream Composer"),
         (1, "WM/StreamFlag", BOOL, True)])

    yield "sample.wmv", build_asf(
        guid("7E1A0002-0000-4000-8000-000000000002"),
        ("Sample WMV Title", "Sample WMV Director", "", "Sample WMV description", ""),
        [("WM/Year", STRING, "2011"),
         ("WM/Genre", STRING, "Documentary"),
         ("WM/Publisher", STRING, "Sample WMV Studio"),
         ("WM/Duration", QWORD, 10_000_000),
         ("WM/Category", STRING, "Nature")],
        [(1, "WM/Lyrics", STRING, "Sample WMV subtitle text")],
        video=True)

    yield "sample.asf", build_asf(
        guid("7E1A0003-0000-4000-8000-000000000003"),
        ("Sample ASF Title", "Sample ASF Author", "Sample ASF Copyright", "", ""),
        [("WM/AlbumTitle", STRING, "Sample ASF Album"),
         ("WM/BeatsPerMinute", WORD, 90),
         ("WM/Composer", STRING, "Sample ASF Composer")],
        [(1, "WM/Genre", STRING, "Sample ASF Stream Genre")],
        library=[(0, 0, "WM/MediaClassPrimaryID", GUID, "D1607DBC-E323-4BE2-86A1-48A42A28441E"),
                 (1, 1, "Description", STRING, "Sample ASF stream description")])


def real_world_samples():
    """Files laid out as real taggers, rippers and gain tools write them."""
    prose = ("Recorded in one take at the old mill, with the windows open, the rain on the roof "
             "and a dog that would not stop barking at the far end of the yard.")
    yield "plain-sizes-v24.mp3", id3v2(4, [
        text_frame("TIT2", LATIN1, "Mill Song"),
        comment_frame("COMM", LATIN1, "", prose),
        text_frame("TPE1", LATIN1, "The Millers"),
    ], plain_sizes=True) + silent_frames(2)

    yield "extended-header-v23.mp3", id3v2(3, [
        text_frame("TIT2", UTF16, "Extended Header Title"),
        text_frame("TPE1", UTF16, "Extended Header Artist"),
        comment_frame("COMM", UTF16, "", "Written with a CRC"),
    ], extended_header=True) + silent_frames(2)

    yield "utf16-without-mark.mp3", id3v2(3, [
        text_frame_without_mark("TIT2", "Sans marque d\u2019ordre"),
        text_frame_without_mark("TPE1", "Chor\u00e4le"),
    ]) + silent_frames(2)

    yield "ape-id3v1.mp3", silent_frames(4) + ape([
        ("Title", "The Title That Is Longer Than Thirty Bytes".encode(), 0),
        ("Artist", "An Artist Whose Name Is Too Long For ID3v1".encode(), 0),
        ("Comment", "An APE comment, whole".encode(), 0),
        ("REPLAYGAIN_TRACK_GAIN", b"-7.31 dB", 0),
        ("Cover Art (Front)", b"front.jpg\0" + bytes(range(256)) * 4, 2),
    ]) + lyrics3("Na na na") + id3v1(
        "The Title That Is Longer Than Thirty Bytes", "An Artist Whose Name Is Too Long For ID3v1",
        "Album", "2015", "An APE comment, whole", 1, 12)

    yield "txxx-description.mp3", id3v2(3, [
        text_frame("TIT2", LATIN1, "User Texts"),
        user_text_frame(LATIN1, "DESCRIPTION", "Not the comment"),
    ]) + silent_frames(2)

    yield "languages.wma", build_asf(
        guid("7E1A0006-0000-4000-8000-000000000006"),
        ("Harbour at Dawn", "Port Authority Band", "", "Gulls and engines", ""),
        [("WM/Genre", STRING, "Field Recording")],
        [(1, "Title", STRING, "Stream One Title")],
        library=[(1, 0, "Title", STRING, "Le port \u00e0 l\u2019aube"),
                 (1, 0, "Description", STRING, "Mouettes et moteurs")])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(here), "samples")
    os.makedirs(out_dir, exist_ok=True)
    for name, data in list(samples()) + list(real_world_samples()):
        assert len(data) < 64 * 1024, name
        with open(os.path.join(out_dir, name), "wb") as out:
            out.write(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes a library of N media files whose words follow Zipf's law, as the
words of a real library do: a few words in very many titles, most in a few.
Half the files are MP3 (ID3v2.3 and 2.4), half WMA; they carry the fields
people search by (title, artist, album, album artist, genre, composer,
year, track and disc numbers, a comment), in several scripts (Latin with
accents, Cyrillic, Greek, Chinese and Japanese), laid out as a ripper lays
them out: ARTIST/ALBUM/NN TITLE.ext. The same N and seed always give the
same library.

The vocabulary is made of syllables ("vazola", "kemiru"), so that a word's
hits can be known in advance: the word of rank r is in about N / r^s of the
titles and comments (s = 1.07), and `--stats` prints the most common words
with their counts, for the queries a benchmark asks.

usage: bench/zipf_library.py FOLDER --files N [--seed S] [--stats]
"""

import argparse
import bisect
import collections
import itertools
import os
import random
import sys

from bench_support import load_generator

SYLLABLES = ["va", "zo", "la", "ke", "mi", "ru", "ta", "no", "si", "be", "du", "ra", "fe", "lo", "pi", "ga", "mu",
             "te", "so", "ni", "ha", "ko", "ri", "we", "yu", "da", "re", "po", "li", "na"]
# A few words of other scripts, spread among the generated ones.
OTHER_SCRIPTS = ["Москва", "ночь", "река", "Ελλάδα", "θάλασσα", "夜", "東京", "夜景", "さくら", "カフェ", "雨", "歌",
                 "Ørsted", "Sigurðardóttir", "Straße", "café", "naïve", "Dvořák", "Åsa", "Łódź"]
GENRES = ["Jazz", "Ambient", "Classical", "Folk", "Electronic", "Rock", "Pop", "Blues", "Soundtrack", "Hip-Hop",
          "Reggae", "Latin", "Highlife", "City Pop", "Chanson", "Metal", "Soul", "Country", "Fado", "Gamelan"]
EXPONENT = 1.07


def vocabulary(size, rng):
    """`size` distinct words of two to four syllables, the other scripts' words
    among the first few thousand ranks."""
    words, seen = [], set()
    while len(words) < size:
        word = "".join(rng.choice(SYLLABLES) for _ in range(rng.choice((2, 3, 3, 4))))
        if word not in seen:
            seen.add(word)
            words.append(word)
    for index, word in enumerate(OTHER_SCRIPTS):
        words[min(size - 1, 7 + index * 97)] = word
    return words


class Zipf:
    """Draws ranks 0..n-1 with probability proportional to 1 / (rank + 1)^s."""

    def __init__(self, n, rng, exponent=EXPONENT):
        self.rng = rng
        self.cumulative = list(itertools.accumulate(1.0 / (rank + 1) ** exponent for rank in range(n)))

    def draw(self):
        return bisect.bisect_left(self.cumulative, self.rng.random() * self.cumulative[-1])


def phrase(words, zipf, count, capital=True):
    picked = [words[zipf.draw()] for _ in range(count)]
    return " ".join(word[:1].upper() + word[1:] if capital else word for word in picked)


def albums(count, rng, words):
    """The albums the files fall into, in order: each with its artist (Zipf
    over the artists), title, year, genre, composer, tracks and discs."""
    names = Zipf(len(words), rng)  # made once: its table is as long as the vocabulary
    artists = [phrase(words, names, 2) for _ in range(max(4, count // 200))]
    artist_zipf, word_zipf, genre_zipf = Zipf(len(artists), rng), Zipf(len(words), rng), Zipf(len(GENRES), rng)
    made = 0
    while made < count:
        tracks = min(count - made, rng.randint(6, 16))
        discs = 2 if tracks > 12 and rng.random() < 0.3 else 1
        yield {"artist": artists[artist_zipf.draw()], "title": phrase(words, word_zipf, rng.randint(1, 3)),
               "year": rng.randint(1955, 2026), "genre": GENRES[genre_zipf.draw()],
               "composer": phrase(words, word_zipf, 2) if rng.random() < 0.3 else "",
               "various": rng.random() < 0.1, "tracks": tracks, "discs": discs}
        made += tracks


def mp3(g, fields, version):
    encoding = g.UTF16 if version == 3 else g.UTF8
    frames = [g.text_frame("TIT2", encoding, fields["title"]), g.text_frame("TPE1", encoding, fields["artist"]),
              g.text_frame("TALB", encoding, fields["album"]), g.text_frame("TCON", encoding, fields["genre"]),
              g.text_frame("TYER" if version == 3 else "TDRC", encoding, str(fields["year"])),
              g.text_frame("TRCK", encoding, f"{fields['track']}/{fields['tracks']}"),
              g.text_frame("TPOS", encoding, f"{fields['disc']}/{fields['discs']}"),
              g.comment_frame("COMM", encoding, "", fields["comment"])]
    if fields["albumartist"]:
        frames.append(g.text_frame("TPE2", encoding, fields["albumartist"]))
    if fields["composer"]:
        frames.append(g.text_frame("TCOM", encoding, fields["composer"]))
    return g.id3v2(version, frames) + g.silent_frames(3)


def wma(g, fields, number):
    extended = [("WM/AlbumTitle", g.STRING, fields["album"]), ("WM/Year", g.STRING, str(fields["year"])),
                ("WM/Genre", g.STRING, fields["genre"]), ("WM/TrackNumber", g.DWORD, fields["track"]),
                ("WM/PartOfSet", g.STRING, f"{fields['disc']}/{fields['discs']}")]
    if fields["albumartist"]:
        extended.append(("WM/AlbumArtist", g.STRING, fields["albumartist"]))
    if fields["composer"]:
        extended.append(("WM/Composer", g.STRING, fields["composer"]))
    description = (fields["title"], fields["artist"], "", fields["comment"], "")
    return g.build_asf(g.guid(f"5A1F0000-0000-4000-8000-{number:012X}"), description, extended, [])


def safe(name):
    return "".join("_" if c in "/\0" else c for c in name)[:80] or "_"


def make_library(folder, count, seed=1, counts=None):
    """Writes `count` files under `folder`; `counts`, a Counter, gets how many
    files each word is in (titles and comments)."""
    g = load_generator()
    rng = random.Random(seed)
    words = vocabulary(max(2000, min(200000, count // 2)), rng)
    word_zipf = Zipf(len(words), rng)
    number = 0
    for album in albums(count, rng, words):
        per_disc = -(-album["tracks"] // album["discs"])
        for index in range(album["tracks"]):
            artist = phrase(words, word_zipf, 2) if album["various"] else album["artist"]
            fields = {"title": phrase(words, word_zipf, rng.randint(2, 5)), "artist": artist,
                      "album": album["title"], "albumartist": album["artist"] if album["various"] else "",
                      "genre": album["genre"], "composer": album["composer"], "year": album["year"],
                      "track": index % per_disc + 1, "tracks": per_disc, "disc": index // per_disc + 1,
                      "discs": album["discs"], "comment": phrase(words, word_zipf, rng.randint(0, 8), False)}
            if counts is not None:
                counts.update({word.lower() for word in (fields["title"] + " " + fields["comment"]).split()})
            extension = ".mp3" if number % 2 == 0 else ".wma"
            data = mp3(g, fields, 3 + number // 2 % 2) if extension == ".mp3" else wma(g, fields, number)
            shelf = os.path.join(folder, safe(album["artist"]), safe(f"{album['title']} ({album['year']})"))
            os.makedirs(shelf, exist_ok=True)
            name = f"{fields['disc']}-{fields['track']:02} {safe(fields['title'])}{extension}"
            with open(os.path.join(shelf, name), "wb") as out:
                out.write(data)
            number += 1
            if number % 10000 == 0:
                print(f"zipf_library: {number} of {count} files", file=sys.stderr)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("folder")
    parser.add_argument("--files", type=int, required=True)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--stats", action="store_true", help="print the 20 most common words and their files")
    args = parser.parse_args()
    if args.files < 1:
        parser.error("--files takes a number of files, 1 or more")
    counts = collections.Counter() if args.stats else None
    make_library(args.folder, args.files, args.seed, counts)
    if counts is not None:
        for word, files in counts.most_common(20):
            print(f"{files}\t{word}")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Prints the rows of the letter folding table (host/text/letter_folding_table.h).

Every Latin and Greek letter that Unicode writes as a base letter with marks
is folded to its base in lower case; Cyrillic keeps its letters but for ё,
which Russian is written without; and the letters that are no accented forms
but that people type as plain letters are folded as they type them.
"""
import unicodedata

RANGES = [(0x00C0, 0x024F), (0x0370, 0x03FF), (0x1E00, 0x1FFF)]
CYRILLIC = {0x0401: "е", 0x0451: "е"}  # Ё ё
TYPED = {  # no marks to remove: as people type them
    "Æ": "ae", "æ": "ae", "Ð": "d", "ð": "d", "Ø": "o", "ø": "o", "Þ": "th", "þ": "th", "ß": "ss", "ẞ": "ss",
    "Đ": "d", "đ": "d", "Ħ": "h", "ħ": "h", "ı": "i", "Ĳ": "ij", "ĳ": "ij", "Ŀ": "l", "ŀ": "l", "Ł": "l",
    "ł": "l", "Ŋ": "n", "ŋ": "n", "Œ": "oe", "œ": "oe", "Ŧ": "t", "ŧ": "t", "ſ": "s",
}


def base(ch):
    plain = "".join(c for c in unicodedata.normalize("NFD", ch) if not unicodedata.combining(c))
    return plain.lower() if plain and plain != ch else None


rows = {}
for low, high in RANGES:
    for code in range(low, high + 1):
        ch = chr(code)
        if unicodedata.category(ch).startswith("L") and base(ch):
            rows[code] = base(ch)
for ch, plain in TYPED.items():
    rows[ord(ch)] = plain
rows.update(CYRILLIC)

for code in sorted(rows):
    plain = rows[code]
    escaped = "".join(c if c.isascii() else "".join("\\x%02X" % b for b in c.encode()) for c in plain)
    print('    {0x%04X, "%s"},  // %s' % (code, escaped, chr(code)))

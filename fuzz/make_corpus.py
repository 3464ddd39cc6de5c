#!/usr/bin/env python3
"""Writes the seed corpus of the .exp fuzzer into fuzz/corpus/exp/.

Small valid files of every shape, and broken ones next to them, so that the
fuzzer starts from both sides of every check the reader makes.
"""
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "exp")


def i16(v):
    return struct.pack("<h", v)


def i32(v):
    return struct.pack("<i", v)


def s(text):
    return i16(len(text)) + text


def text_row(font=b"Arial", bold=-1, italic=0, size=25, text=b"a+b", x=30, y=100,
             mx=25, my=120, h=25, live=-1):
    return (s(font) + i16(bold) + i16(italic) + i16(size) + s(text) + i16(x) + i16(y)
            + i16(mx) + i16(my) + i16(h) + i16(live))


def line_row(a=70, b=160, c=26, d=114, w=12, live=-1):
    return i16(a) + i16(b) + i16(c) + i16(d) + i16(w) + i16(live)


def header(t, h, v):
    return i16(t) + i16(h) + i16(v)


texts = i32(2) + text_row() + text_row(b"MathSymbols", 0, 0, 40, b"", -3, 7, -8, 40, 37, 0) \
    + text_row(b"Zidezir", 0, -1, 250, b"\xa3\xac x", live=0)
hlines = i32(1) + line_row() + line_row(-5, -20, 300, -300, 1, 0)
vlines = i32(0) + line_row(70, 50, 20, 80, 3)

SEEDS = {
    "valid_empty.exp": header(0, 0, 0),
    "valid_one_hline.exp": header(0, -1, 0) + i32(0) + line_row(),
    "valid_one_text.exp": header(-1, 0, 0) + i32(0) + text_row(),
    "valid_all.exp": header(-1, -1, -1) + texts + hlines + vlines,
    "valid_only_vlines.exp": header(0, 0, -1) + vlines,
    "valid_text_and_vlines.exp": header(-1, 0, -1) + texts + vlines,
    "valid_odd_flags_trailing.exp": header(5, 0, 128) + texts + vlines + b"\x01\x02\x03",
    "broken_truncated.exp": (header(-1, -1, -1) + texts + hlines + vlines)[:-5],
    "broken_huge_last.exp": header(0, -1, 0) + i32(0x7FFFFFFF) + bytes(10),
    "broken_negative_last.exp": header(0, 0, -1) + i32(-1) + bytes(10),
    "broken_last_32768.exp": header(-1, 0, 0) + i32(32768) + bytes(30),
    "broken_string_past_end.exp": header(-1, 0, 0) + i32(0) + i16(300) + b"Arial",
    "broken_negative_count.exp": header(-1, 0, 0) + i32(0) + i16(-2) + bytes(30),
    "broken_missing_section.exp": header(-1, -1, -1) + texts,
    "broken_short_header.exp": header(0, -1, 0)[:4],
}

os.makedirs(OUT, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)

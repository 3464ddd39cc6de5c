#!/usr/bin/python3
"""Draws the 9 x 9 handle marker, marker.bmp: a dark frame around a white
square with a red centre, so it shows on white canvas and on black ink."""
import sys
from PIL import Image

FRAME = (24, 24, 96)
FILL = (255, 255, 255)
CENTRE = (220, 0, 0)


def marker():
    img = Image.new("RGB", (9, 9), FILL)
    px = img.load()
    for i in range(9):
        for edge in (0, 8):
            px[i, edge] = FRAME
            px[edge, i] = FRAME
    for x in range(3, 6):
        for y in range(3, 6):
            px[x, y] = CENTRE
    return img


if __name__ == "__main__":
    marker().save(sys.argv[1], format="BMP")

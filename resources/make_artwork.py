#!/usr/bin/env python3
"""Draws the maker's logo (logo.bmp) and the program's icon (updater.ico).

    make_artwork.py [OUTPUT_DIR]

Needs Pillow and the DejaVu fonts (Debian: python3-pil, fonts-dejavu-core). The build does not
run this script: its outputs are committed. See README.md.

The logo is drawn at four times its size and reduced. Its background is pure green, the colour
key with which the program draws it; an edge pixel is either key or shape, never a blend of the
two, and a shape's soft edge is blended towards a light grey instead, so that no green-tinted
fringe shows when the key is cut out.
"""

import os
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFont

FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT_BOLD_SLANTED = "/usr/share/fonts/truetype/dejavu/DejaVuSans-BoldOblique.ttf"

NAVY = (14, 38, 74)
RED = (200, 16, 46)
WHITE = (255, 255, 255)
KEY = (0, 255, 0)
EDGE_BACKDROP = (236, 236, 236)  # what a soft edge is blended towards: a light dialog grey

LOGO_SIZE = (1772, 263)
ICON_SIZES = (16, 32, 48, 64, 128)
SCALE = 4  # supersampling factor


def scaled_font(path, pixels):
    return ImageFont.truetype(path, max(1, round(pixels)))


def draw_text_centred(draw, centre, text, font, fill):
    left, top, right, bottom = draw.textbbox((0, 0), text, font=font)
    x = centre[0] - (left + right) / 2
    y = centre[1] - (top + bottom) / 2
    draw.text((x, y), text, font=font, fill=fill)


def draw_emblem(colour, shape, box, detail=True):
    """The maker's mark: a navy rounded square with a white B and a red speed stripe.

    colour is an RGB image and shape an L coverage mask of the same size; box is (x, y, side)."""
    x, y, side = box
    radius = side * 0.22
    ImageDraw.Draw(shape).rounded_rectangle((x, y, x + side, y + side), radius, fill=255)
    paint = ImageDraw.Draw(colour)
    paint.rounded_rectangle((x, y, x + side, y + side), radius, fill=NAVY)
    # The stripe runs under the letter, slanted like the wordmark.
    stripe_top = y + side * (0.70 if detail else 0.74)
    stripe_bottom = y + side * (0.82 if detail else 0.88)
    slant = side * 0.06
    paint.polygon([(x + side * 0.16 + slant, stripe_top), (x + side * 0.90, stripe_top),
                   (x + side * 0.90 - slant, stripe_bottom), (x + side * 0.16, stripe_bottom)],
                  fill=RED)
    letter = scaled_font(FONT_BOLD_SLANTED, side * (0.66 if detail else 0.74))
    draw_text_centred(paint, (x + side * 0.52, y + side * (0.42 if detail else 0.40)), "B",
                      letter, WHITE)


def wordmark_mask(width, height):
    """"BELMARODA" as a coverage mask of exactly width x height."""
    word = "BELMARODA"
    font = scaled_font(FONT_BOLD_SLANTED, height)
    bbox = font.getbbox(word)
    mask = Image.new("L", (bbox[2] - bbox[0], bbox[3] - bbox[1]), 0)
    ImageDraw.Draw(mask).text((-bbox[0], -bbox[1]), word, font=font, fill=255)
    return mask.resize((width, height), Image.LANCZOS)


def draw_logo_large():
    width, height = LOGO_SIZE[0] * SCALE, LOGO_SIZE[1] * SCALE
    colour = Image.new("RGB", (width, height), EDGE_BACKDROP)
    shape = Image.new("L", (width, height), 0)
    s = SCALE

    draw_emblem(colour, shape, (6 * s, 6 * s, 251 * s))

    # The wordmark, navy on the transparent background, stretched to fill its box.
    left, right = 292 * s, (LOGO_SIZE[0] - 6) * s
    word = wordmark_mask(right - left, 166 * s)
    colour.paste(NAVY, (left, 6 * s), word)
    shape.paste(255, (left, 6 * s), word)

    # A red speed bar under it with the tagline in white.
    bar_top, bar_bottom = 193 * s, 256 * s
    slant = (bar_bottom - bar_top) * 0.3
    bar = [(left + slant, bar_top), (right, bar_top), (right - slant, bar_bottom),
           (left, bar_bottom)]
    ImageDraw.Draw(colour).polygon(bar, fill=RED)
    ImageDraw.Draw(shape).polygon(bar, fill=255)
    tagline = "E L E C T R O N I C   S P E E D   C O N T R O L"
    draw_text_centred(ImageDraw.Draw(colour), ((left + right) / 2, (bar_top + bar_bottom) / 2),
                      tagline, scaled_font(FONT_BOLD, 40 * s), WHITE)
    return colour, shape


def key_out(colour, shape):
    """Reduces the drawing to the logo's size and replaces the background with the key."""
    size = LOGO_SIZE
    # Reduce the colours weighted by coverage, so that the backdrop does not leak into the edges.
    premultiplied = ImageChops.multiply(colour, Image.merge("RGB", (shape, shape, shape)))
    colour_small = premultiplied.resize(size, Image.LANCZOS)
    shape_small = shape.resize(size, Image.BOX)
    out = Image.new("RGB", size)
    source = colour_small.load()
    coverage = shape_small.load()
    target = out.load()
    for y in range(size[1]):
        for x in range(size[0]):
            a = coverage[x, y]
            if a < 128:
                target[x, y] = KEY
                continue
            # The shape's colour (already weighted by coverage) over the grey for the rest.
            target[x, y] = tuple(min(255, round(c + b * (1 - a / 255)))
                                 for c, b in zip(source[x, y], EDGE_BACKDROP))
    return out


def check_logo(logo):
    pixels = list(logo.getdata())
    key = sum(1 for p in pixels if p == KEY)
    greenish = sum(1 for p in pixels if p != KEY and p[1] > max(p[0], p[2]) + 24)
    share = key / len(pixels)
    print(f"logo: {share:.1%} key pixels, {greenish} green-tinted pixels")
    if not 0.38 <= share <= 0.44 or greenish:
        sys.exit("the logo misses its key share or has a green fringe")


def write_bmp(path, image):
    """24-bit bottom-up BMP, no colour table, resolution fields 0."""
    width, height = image.size
    row = (width * 3 + 3) & ~3
    pixels = bytearray()
    rgb = image.tobytes()
    for y in reversed(range(height)):
        line = rgb[y * width * 3:(y + 1) * width * 3]
        bgr = bytearray(len(line))
        bgr[0::3], bgr[1::3], bgr[2::3] = line[2::3], line[1::3], line[0::3]
        pixels += bgr + bytes(row - len(bgr))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as output:
        output.write(header + info + pixels)


def draw_icon(side):
    """The emblem alone, square, with alpha."""
    if side <= 16:
        return draw_tiny_icon(side)
    big = side * 8
    colour = Image.new("RGB", (big, big), NAVY)
    shape = Image.new("L", (big, big), 0)
    inset = 0 if side <= 32 else big // 32
    draw_emblem(colour, shape, (inset, inset, big - 2 * inset - 1), detail=side >= 48)
    icon = colour.convert("RGBA")
    icon.putalpha(shape)
    return icon.resize((side, side), Image.LANCZOS)


def draw_tiny_icon(side):
    """At 16 pixels a slanted, reduced letter turns to mush: here the B is upright and drawn at
    its final size by the font's hinting, and the stripe sits on whole pixel rows."""
    big = side * 8
    corners = Image.new("L", (big, big), 0)
    ImageDraw.Draw(corners).rounded_rectangle((0, 0, big - 1, big - 1), big * 0.16, fill=255)
    icon = Image.new("RGBA", (side, side), NAVY + (255,))
    icon.putalpha(corners.resize((side, side), Image.BOX))
    paint = ImageDraw.Draw(icon)
    font = scaled_font(FONT_BOLD, side * 0.75)
    left, top, right, _ = paint.textbbox((0, 0), "B", font=font)
    paint.text((round(side * 0.52 - (left + right) / 2), round(side * 0.12) - top), "B",
               font=font, fill=WHITE + (255,))
    stripe_top, stripe_bottom = side * 0.75, side * 0.875
    paint.polygon([(side * 0.22, stripe_top), (side * 0.84, stripe_top),
                   (side * 0.80, stripe_bottom), (side * 0.18, stripe_bottom)],
                  fill=RED + (255,))
    return icon


def icon_image_bytes(icon):
    """BITMAPINFOHEADER (height doubled), BGRA rows bottom-up, then the AND mask."""
    side = icon.size[0]
    xor = bytearray()
    mask_row = ((side + 31) // 32) * 4
    mask = bytearray()
    rgba = icon.load()
    for y in reversed(range(side)):
        bits = bytearray(mask_row)
        for x in range(side):
            r, g, b, a = rgba[x, y]
            if a == 0:
                r = g = b = 0
                bits[x // 8] |= 0x80 >> (x % 8)
            xor += bytes((b, g, r, a))
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, side, side * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + xor + mask


def write_ico(path, icons):
    images = [icon_image_bytes(icon) for icon in icons]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for icon, data in zip(icons, images):
        side = icon.size[0]
        entries += struct.pack("<BBBBHHII", side % 256, side % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as output:
        output.write(directory + entries + b"".join(images))
    print("icon: " + ", ".join(f"{icon.size[0]}px {len(data)} bytes"
                               for icon, data in zip(icons, images)))


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    logo = key_out(*draw_logo_large())
    check_logo(logo)
    write_bmp(os.path.join(out_dir, "logo.bmp"), logo)
    write_ico(os.path.join(out_dir, "updater.ico"), [draw_icon(side) for side in ICON_SIZES])


if __name__ == "__main__":
    main()

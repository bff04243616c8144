#!/usr/bin/env python3
"""Draws Vornex's two pictures and writes them under assets/.

    assets/vornex.ico           the program icon: 48x48 and 32x32, each as 8bpp
                                (palette + AND mask) and as 32bpp BGRA
    assets/icon/30001..30004.bin  each image of the icon, byte for byte as in
                                the .ico, for RT_ICON resources with fixed ids
    assets/icon/group.bin       the RT_GROUP_ICON directory naming those ids
    assets/banner.jpg           the 400x80 banner at the top of the window

The outputs are committed; the build never runs this. Run it again after
changing a picture:  python3 scripts/make-assets.py

The icon is drawn here from geometric primitives and written byte by byte, so
it comes out identical on every run. The banner is drawn by ImageMagick's
convert (Debian's imagemagick) with the WenQuanYi Micro Hei font
(fonts-wqy-microhei); with the same versions of both it is identical too.

Standard library only.
"""

import math
import os
import shutil
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ASSETS = os.path.join(ROOT, "assets")

# windres's ICON statement numbers the images itself; the program's resource
# script names these ids instead, one RT_ICON per image, in the .ico's order.
FIRST_ICON_ID = 30001

# (size, bits per pixel), in the order of the .ico and of the resource ids.
ICON_IMAGES = [(48, 8), (32, 8), (48, 32), (32, 32)]

SUPERSAMPLE = 8  # samples per pixel along each axis


# ---------------------------------------------------------------------------
# The icon's drawing: a magnifying glass, in a unit square (y grows downwards).

def hex_rgb(text):
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


def mix(a, b, t):
    t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
    return tuple(x + (y - x) * t for x, y in zip(a, b))


LENS_CX, LENS_CY = 0.405, 0.405
RING_OUTER = 0.335
RING_INNER = 0.245
DIAG = (math.sqrt(0.5), math.sqrt(0.5))  # the handle's direction, down-right

# A box along the diagonal: distance from the lens centre where it starts and
# ends, half its width, and the radius of its corners.
COLLAR = (0.30, 0.425, 0.062, 0.012)
HANDLE = (0.405, 0.715, 0.092, 0.050)
HANDLE_EDGE = 0.026  # the darker outline around the handle

RING_LIGHT, RING_DARK = hex_rgb("5a93cf"), hex_rgb("1d4a7e")
LENS_LIGHT, LENS_DARK = hex_rgb("e4f6ff"), hex_rgb("86cdf3")
COLLAR_LIGHT, COLLAR_DARK = hex_rgb("b4bfcb"), hex_rgb("5f6c7b")
HANDLE_LIGHT, HANDLE_DARK = hex_rgb("ffb457"), hex_rgb("f07d12")
HANDLE_OUTLINE = hex_rgb("b25508")
GLINT = (255, 255, 255)
GLINT_ALPHA = 0.80


def box_distance(x, y, box):
    """Signed distance from (x, y) to a rounded box lying along DIAG."""
    start, end, half_width, radius = box
    dx, dy = x - LENS_CX, y - LENS_CY
    along = dx * DIAG[0] + dy * DIAG[1]
    across = -dx * DIAG[1] + dy * DIAG[0]
    centre, half_length = (start + end) / 2, (end - start) / 2
    qx = abs(along - centre) - half_length + radius
    qy = abs(across) - half_width + radius
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def across_handle(x, y, half_width):
    """Where (x, y) lies across the handle: 0 on its upper-right side, 1 on the other."""
    dx, dy = x - LENS_CX, y - LENS_CY
    across = -dx * DIAG[1] + dy * DIAG[0]
    return (across + half_width) / (2 * half_width)


def sample(x, y):
    """The colour (r, g, b, alpha 0..1) at one point, or None where nothing is drawn."""
    colour = None
    dx, dy = x - LENS_CX, y - LENS_CY
    r = math.hypot(dx, dy)
    # Light falls from the upper left: `lit` is the distance from the lens
    # centre towards the lower right, negative on the lit side.
    lit = (dx + dy) * math.sqrt(0.5)

    edge = box_distance(x, y, HANDLE)
    if edge <= HANDLE_EDGE:
        if edge <= 0.0:
            t = across_handle(x, y, HANDLE[2])
            colour = mix(HANDLE_LIGHT, HANDLE_DARK, t * 1.1 - 0.05) + (1.0,)
        else:
            colour = HANDLE_OUTLINE + (1.0,)

    if box_distance(x, y, COLLAR) <= 0.0:
        t = across_handle(x, y, COLLAR[2])
        colour = mix(COLLAR_LIGHT, COLLAR_DARK, t) + (1.0,)

    if r <= RING_OUTER:
        if r >= RING_INNER:
            colour = mix(RING_LIGHT, RING_DARK, lit / RING_OUTER * 0.55 + 0.5) + (1.0,)
        else:
            t = math.hypot(dx + 0.10, dy + 0.10) / (RING_INNER + 0.12)
            lens = mix(LENS_LIGHT, LENS_DARK, t)
            # A crescent of light along the lens's upper-left rim.
            in_glint = (math.hypot(dx + 0.012, dy + 0.012) <= RING_INNER - 0.045 and
                        math.hypot(dx - 0.030, dy - 0.030) > RING_INNER - 0.050 and
                        lit < -0.02)
            if in_glint:
                lens = mix(lens, GLINT, GLINT_ALPHA)
            colour = lens + (1.0,)
    return colour


def render(size):
    """Rows of (r, g, b, a) bytes, top row first, antialiased by supersampling."""
    n = SUPERSAMPLE
    offsets = [(i + 0.5) / n for i in range(n)]
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            sr = sg = sb = sa = 0.0
            for oy in offsets:
                y = (py + oy) / size
                for ox in offsets:
                    c = sample((px + ox) / size, y)
                    if c is not None:
                        a = c[3]
                        sr += c[0] * a
                        sg += c[1] * a
                        sb += c[2] * a
                        sa += a
            if sa <= 0.0:
                row.append((0, 0, 0, 0))
                continue
            alpha = round(sa / (n * n) * 255)
            if alpha == 0:
                row.append((0, 0, 0, 0))
                continue
            row.append((round(sr / sa), round(sg / sa), round(sb / sa), alpha))
        rows.append(row)
    return rows


# ---------------------------------------------------------------------------
# Palette for the 8bpp images.

def median_cut(counts, limit):
    """At most `limit` colours standing for the colours in `counts` {rgb: n}."""
    boxes = [sorted(counts.items())]
    while len(boxes) < limit:
        best, best_range, best_channel = None, 0, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for ch in range(3):
                values = [c[ch] for c, _ in box]
                spread = max(values) - min(values)
                if spread > best_range:
                    best, best_range, best_channel = i, spread, ch
        if best is None:
            break
        box = sorted(boxes.pop(best), key=lambda item: (item[0][best_channel], item[0]))
        total = sum(n for _, n in box)
        running, cut = 0, 1
        for k, (_, n) in enumerate(box):
            running += n
            if running * 2 >= total:
                cut = k + 1
                break
        cut = min(max(cut, 1), len(box) - 1)
        boxes[best:best] = [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        total = sum(n for _, n in box)
        palette.append(tuple(round(sum(c[ch] * n for c, n in box) / total) for ch in range(3)))
    return sorted(set(palette))


def quantize(rows):
    """(palette, index rows) with index 0 black for the transparent pixels."""
    counts = {}
    for row in rows:
        for r, g, b, a in row:
            if a >= 128:
                counts[(r, g, b)] = counts.get((r, g, b), 0) + 1
    if len(counts) <= 255:
        colours = sorted(counts)
    else:
        colours = median_cut(counts, 255)
    palette = [(0, 0, 0)] + colours
    nearest = {}
    for rgb in counts:
        nearest[rgb] = 1 + min(range(len(colours)), key=lambda i: (
            sum((p - q) ** 2 for p, q in zip(rgb, colours[i])), i))
    indices = [[nearest[(r, g, b)] if a >= 128 else 0 for r, g, b, a in row] for row in rows]
    return palette, indices


# ---------------------------------------------------------------------------
# ICO bytes.

def padded(data):
    return data + b"\0" * (-len(data) % 4)


def and_mask(rows):
    """The 1bpp AND mask, bottom row first: 1 where the pixel is transparent."""
    out = bytearray()
    for row in reversed(rows):
        bits = bytearray((len(row) + 7) // 8)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += padded(bytes(bits))
    return bytes(out)


def icon_image(rows, bits):
    """One image as stored in an .ico: BITMAPINFOHEADER, palette, XOR, AND."""
    size = len(rows)
    mask = and_mask(rows)
    if bits == 8:
        palette, indices = quantize(rows)
        palette += [(0, 0, 0)] * (256 - len(palette))
        colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
        xor = b"".join(padded(bytes(row)) for row in reversed(indices))
    elif bits == 32:
        colours = b""
        xor = b"".join(bytes(v for r, g, b, a in row for v in (b, g, r, a))
                       for row in reversed(rows))
    else:
        raise ValueError(bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + colours + xor + mask


def icon_entry(size, bits, length):
    """The first 12 bytes shared by ICONDIRENTRY and GRPICONDIRENTRY."""
    return struct.pack("<BBBBHHI", size % 256, size % 256, 0, 0, 1, bits, length)


def make_icon():
    drawn = {size: render(size) for size in sorted({s for s, _ in ICON_IMAGES})}
    images = [icon_image(drawn[size], bits) for size, bits in ICON_IMAGES]
    header = struct.pack("<HHH", 0, 1, len(images))

    ico = bytearray(header)
    offset = len(header) + 16 * len(images)
    for (size, bits), data in zip(ICON_IMAGES, images):
        ico += icon_entry(size, bits, len(data)) + struct.pack("<I", offset)
        offset += len(data)
    for data in images:
        ico += data

    group = bytearray(header)
    for i, ((size, bits), data) in enumerate(zip(ICON_IMAGES, images)):
        group += icon_entry(size, bits, len(data)) + struct.pack("<H", FIRST_ICON_ID + i)

    write(os.path.join(ASSETS, "vornex.ico"), bytes(ico))
    for i, data in enumerate(images):
        write(os.path.join(ASSETS, "icon", "%d.bin" % (FIRST_ICON_ID + i)), data)
    write(os.path.join(ASSETS, "icon", "group.bin"), bytes(group))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (os.path.relpath(path, ROOT), len(data)))


# ---------------------------------------------------------------------------
# The banner, drawn by ImageMagick.

BANNER_WIDTH, BANNER_HEIGHT = 400, 80
FONT_NAME = "WenQuanYi Micro Hei"
FONT_PATH = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

FORUM_NAME = "Vornex 互助论坛"
FORUM_ADDRESS = "bbs.vornex-help.org"
TITLE = "IFEO劫持检测修复工具"
AUTHOR = "By Qelmor"

BLUE = "#1b64b5"
DARK_BLUE = "#0f3b73"


def font_path():
    if os.path.exists(FONT_PATH):
        return FONT_PATH
    try:
        found = subprocess.run(["fc-match", "-f", "%{file}", FONT_NAME],
                               capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        found = ""
    if not found or "wqy" not in found.lower():
        sys.exit("make-assets: the font %s is missing (Debian: fonts-wqy-microhei)" % FONT_NAME)
    return found


def convert_command():
    for name in ("convert", "convert-im6.q16"):
        path = shutil.which(name)
        if path:
            return path
    sys.exit("make-assets: ImageMagick's convert is missing (Debian: imagemagick)")


def text_width(convert, font, size, weight, words):
    """The width in pixels of the ink of `words` as the banner draws them."""
    args = [convert, "-font", font, "-pointsize", str(size)]
    if weight:
        args += ["-stroke", "black", "-strokewidth", str(weight)]
    args += ["label:" + words, "-trim", "-format", "%w", "info:"]
    return int(subprocess.run(args, capture_output=True, text=True, check=True).stdout)


def make_banner():
    convert = convert_command()
    font = font_path()
    cx, cy, radius = 36, 39, 27  # the logo
    divider = 179                # x of the line between the forum and the title
    title_size, title_weight = 20, 0.45

    def text(x, y, size, colour, words, weight=0.0):
        args = ["-font", font, "-pointsize", str(size), "-fill", colour]
        args += ["-stroke", colour, "-strokewidth", str(weight)] if weight else ["-stroke", "none"]
        return args + ["-annotate", "+%d+%d" % (x, y), words]

    shield = ("path 'M {0},{1} L {2},{3} L {2},{4} Q {2},{5} {0},{6} "
              "Q {7},{5} {7},{4} L {7},{3} Z'").format(
                  cx, cy - 14, cx + 10.5, cy - 10, cy - 1, cy + 8.5, cy + 15, cx - 10.5)
    tick = "polyline {},{} {},{} {},{}".format(cx - 5, cy + 0.5, cx - 1.5, cy + 4,
                                               cx + 5.5, cy - 4)
    args = [
        convert,
        "-size", "%dx%d" % (BANNER_WIDTH, BANNER_HEIGHT), "gradient:#f1f8ff-#d3e8fb",
        # a blue rule along the bottom edge
        "-stroke", "none", "-fill", "#2a78c9",
        "-draw", "rectangle 0,%d %d,%d" % (BANNER_HEIGHT - 3, BANNER_WIDTH - 1, BANNER_HEIGHT - 1),
        # the logo: a blue disc, a white ring, a white shield with a blue tick
        "-fill", "#9cc3ea", "-draw", "circle %d,%d %d,%d" % (cx, cy, cx + radius + 1, cy),
        "-fill", BLUE, "-draw", "circle %d,%d %d,%d" % (cx, cy, cx + radius, cy),
        "-fill", "none", "-stroke", "white", "-strokewidth", "2",
        "-draw", "circle %d,%d %d,%d" % (cx, cy, cx + radius - 4.5, cy),
        "-fill", "white", "-stroke", "none", "-draw", shield,
        "-fill", "none", "-stroke", BLUE, "-strokewidth", "2.4",
        "-draw", "stroke-linecap round stroke-linejoin round " + tick,
        # a thin divider between the forum and the title
        "-stroke", "none", "-fill", "#a6c6e6",
        "-draw", "rectangle %d,16 %d,62" % (divider, divider),
    ]
    args += text(cx + radius + 8, 36, 13, "#173e6c", FORUM_NAME, 0.2)
    args += text(cx + radius + 8, 54, 11, "#47698f", FORUM_ADDRESS)

    # The title sits centred right of the divider, the author under its end.
    width = text_width(convert, font, title_size, title_weight, TITLE)
    margin = (BANNER_WIDTH - divider - 1 - width) // 2
    args += ["-gravity", "NorthEast"]
    args += text(margin, 18, title_size, DARK_BLUE, TITLE, title_weight)
    args += text(margin, 45, 12, "#3c5f86", AUTHOR)

    path = os.path.join(ASSETS, "banner.jpg")
    os.makedirs(ASSETS, exist_ok=True)
    args += ["-gravity", "NorthWest", "-strip", "-colorspace", "sRGB", "-type", "TrueColor",
             "-sampling-factor", "2x2", "-interlace", "none", "-quality", "90",
             "jpeg:" + path]
    subprocess.run(args, check=True)
    print("wrote %s (%d bytes)" % (os.path.relpath(path, ROOT), os.path.getsize(path)))

def main():
    make_icon()
    make_banner()


if __name__ == "__main__":
    main()

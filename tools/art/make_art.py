#!/usr/bin/python3
"""Draws the installer's artwork into resources/ (run it again after changing a drawing):

  art/art_panel.png      1569 x 1002, the wizard's left panel (only u 0.54 to 0.91 is shown)
  art/icon_minimise.png  16 x 16, white on transparent (the wizard tints it)
  art/icon_close.png     24 x 24, white on transparent
  art/boot.jpg           1280 x 720, the picture the emulator shows while it starts
  vellmora.ico           the application icon, 16 to 256 pixels

Everything is drawn at four times its size and reduced, so that edges are smooth. It needs
Debian's python3-pil and fonts-dejavu-core.
"""

import math
import sys
from pathlib import Path

from PIL import Image, ImageDraw, ImageFilter, ImageFont

ACCENT = (253, 140, 6)
ACCENT_LIGHT = (255, 176, 72)
DARK = (9, 11, 14)
PANEL = (15, 20, 25)
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
SS = 4

ROOT = Path(__file__).resolve().parents[2] / "resources"


def mark_polygons(x, y, w, h):
    """The product mark: two strokes of a V in a w x h box at (x, y)."""
    t = w * 0.18
    left = [(x, y), (x + t * 1.25, y), (x + w * 0.5 + t * 0.35, y + h * 0.78),
            (x + w * 0.5 - t * 0.25, y + h), (x + w * 0.5 - t * 0.9, y + h)]
    right = [(x + w - t * 0.9, y), (x + w, y), (x + w * 0.5 + t * 0.55, y + h),
             (x + w * 0.5 - t * 0.05, y + h * 0.86)]
    return left, right


def vertical_gradient(size, top, bottom):
    w, h = size
    image = Image.new("RGB", size)
    draw = ImageDraw.Draw(image)
    for row in range(h):
        f = row / max(h - 1, 1)
        draw.line([(0, row), (w, row)], fill=tuple(int(a + (b - a) * f) for a, b in zip(top, bottom)))
    return image


def glow(size, centre, radius, colour, strength):
    layer = Image.new("RGBA", size, (0, 0, 0, 0))
    ImageDraw.Draw(layer).ellipse([centre[0] - radius, centre[1] - radius, centre[0] + radius,
                                   centre[1] + radius], fill=colour + (strength,))
    return layer.filter(ImageFilter.GaussianBlur(radius * 0.6))


def art_panel():
    w, h = 1569, 1002
    base = vertical_gradient((w, h), (20, 26, 33), DARK).convert("RGBA")
    cx = int(w * 0.725)  # the middle of the part the wizard shows
    base.alpha_composite(glow((w, h), (cx, int(h * 0.42)), 260, ACCENT, 120))
    base.alpha_composite(glow((w, h), (cx + 140, int(h * 0.86)), 200, (90, 40, 4), 140))

    big = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))
    draw = ImageDraw.Draw(big)
    # A fine grid of dots, fading towards the bottom.
    for gy in range(0, h, 36):
        for gx in range(0, w, 36):
            alpha = int(70 * (1 - gy / h))
            r = 1.6 * SS
            draw.ellipse([gx * SS - r, gy * SS - r, gx * SS + r, gy * SS + r], fill=(120, 132, 148, alpha))
    # Concentric arcs around the mark.
    for i, radius in enumerate((150, 210, 275, 345)):
        r = radius * SS
        c = (cx * SS, int(h * 0.42) * SS)
        draw.arc([c[0] - r, c[1] - r, c[0] + r, c[1] + r], start=200 + i * 18, end=340 + i * 25,
                 fill=ACCENT + (200 - i * 40,), width=int((5 - i) * SS))
    # The mark itself.
    mw, mh = 250, 170
    left, right = mark_polygons((cx - mw / 2) * SS, (h * 0.42 - mh / 2) * SS, mw * SS, mh * SS)
    draw.polygon(left, fill=ACCENT + (255,))
    draw.polygon(right, fill=ACCENT_LIGHT + (255,))
    # Android-ish device outline below, a phone frame in thin lines.
    px, py, pw, ph = cx - 95, int(h * 0.63), 190, 300
    draw.rounded_rectangle([px * SS, py * SS, (px + pw) * SS, (py + ph) * SS], radius=28 * SS,
                           outline=(200, 206, 214, 110), width=3 * SS)
    draw.rounded_rectangle([(px + 14) * SS, (py + 40) * SS, (px + pw - 14) * SS, (py + ph - 20) * SS],
                           radius=10 * SS, fill=(253, 140, 6, 38))
    for k in range(4):
        y0 = (py + 64 + k * 46) * SS
        draw.rounded_rectangle([(px + 30) * SS, y0, (px + pw - 30 - k * 18) * SS, y0 + 14 * SS],
                               radius=7 * SS, fill=(240, 242, 245, 70 - k * 10))
    small = big.resize((w, h), Image.LANCZOS)
    base.alpha_composite(small)
    base.convert("RGB").save(ROOT / "art" / "art_panel.png", optimize=True)


def icon(size, strokes, path):
    big = Image.new("RGBA", (size * SS, size * SS), (0, 0, 0, 0))
    draw = ImageDraw.Draw(big)
    for (x1, y1, x2, y2), width in strokes:
        draw.line([(x1 * SS, y1 * SS), (x2 * SS, y2 * SS)], fill=(255, 255, 255, 255), width=int(width * SS))
    big.resize((size, size), Image.LANCZOS).save(path, optimize=True)


def app_icon_image(size):
    big = Image.new("RGBA", (size * SS, size * SS), (0, 0, 0, 0))
    draw = ImageDraw.Draw(big)
    s = size * SS
    draw.rounded_rectangle([0, 0, s - 1, s - 1], radius=int(s * 0.22), fill=(17, 21, 26, 255))
    draw.rounded_rectangle([s * 0.03, s * 0.03, s * 0.97, s * 0.97], radius=int(s * 0.2),
                           outline=ACCENT + (90,), width=max(1, int(s * 0.02)))
    left, right = mark_polygons(s * 0.18, s * 0.26, s * 0.64, s * 0.48)
    draw.polygon(left, fill=ACCENT + (255,))
    draw.polygon(right, fill=ACCENT_LIGHT + (255,))
    return big.resize((size, size), Image.LANCZOS)


def boot_picture():
    w, h = 1280, 720
    base = vertical_gradient((w, h), (18, 23, 29), DARK).convert("RGBA")
    base.alpha_composite(glow((w, h), (w // 2, int(h * 0.42)), 220, ACCENT, 90))
    big = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))
    draw = ImageDraw.Draw(big)
    mw, mh = 180, 122
    left, right = mark_polygons((w / 2 - mw / 2) * SS, (h * 0.42 - mh / 2) * SS, mw * SS, mh * SS)
    draw.polygon(left, fill=ACCENT + (255,))
    draw.polygon(right, fill=ACCENT_LIGHT + (255,))
    font = ImageFont.truetype(FONT, 54 * SS)
    text = "Vell Mora"
    box = draw.textbbox((0, 0), text, font=font)
    draw.text(((w * SS - (box[2] - box[0])) / 2, h * 0.62 * SS), text, font=font, fill=(236, 238, 241, 255))
    base.alpha_composite(big.resize((w, h), Image.LANCZOS))
    base.convert("RGB").save(ROOT / "art" / "boot.jpg", quality=90, optimize=True)


def main():
    (ROOT / "art").mkdir(parents=True, exist_ok=True)
    art_panel()
    icon(16, [((3, 8.5, 13, 8.5), 1.6)], ROOT / "art" / "icon_minimise.png")
    icon(24, [((6, 6, 18, 18), 1.8), ((18, 6, 6, 18), 1.8)], ROOT / "art" / "icon_close.png")
    boot_picture()
    sizes = [16, 24, 32, 48, 256]
    app_icon_image(256).save(ROOT / "vellmora.ico", sizes=[(s, s) for s in sizes],
                             append_images=[app_icon_image(s) for s in sizes[:-1]])
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""Small helpers for writing the app's pictures as SVG.

Standard library only: the pictures are plain text templates, and
rsvg-convert turns them into PNG at 1x and 2x.
"""

from xml.sax.saxutils import escape

# The palette. The accent is the red the app uses for touched rows
# (222, 18, 104); everything else is built around it.
ACCENT = "#DE1268"
ACCENT_LIGHT = "#F2578F"
ACCENT_PALE = "#F9C3D7"
ACCENT_DARK = "#A30C4C"
INK = "#14151F"
NAVY = "#23263A"
SLATE = "#30344F"
MIST = "#9AA0B8"
WHITE = "#FFFFFF"

FONT = "Noto Sans CJK SC, Noto Sans CJK JP, Noto Sans, sans-serif"


def document(width, height, body, defs=""):
    """A complete SVG document of the given size in points."""
    return (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{fmt(width)}" '
        f'height="{fmt(height)}" viewBox="0 0 {fmt(width)} {fmt(height)}">\n'
        f"<defs>{SHADOW_FILTER}{defs}</defs>\n{body}\n</svg>\n"
    )


def fmt(number):
    """Numbers without trailing zeros, so the SVG stays readable."""
    text = f"{number:.3f}".rstrip("0").rstrip(".")
    return text if text != "-0" else "0"


# A soft drop shadow for white glyphs that sit on video or on the accent bar.
SHADOW_FILTER = (
    '<filter id="shadow" x="-30%" y="-30%" width="160%" height="160%">'
    '<feGaussianBlur in="SourceAlpha" stdDeviation="0.8"/>'
    '<feOffset dx="0" dy="0.6" result="blur"/>'
    '<feComponentTransfer><feFuncA type="linear" slope="0.45"/></feComponentTransfer>'
    '<feMerge><feMergeNode/><feMergeNode in="SourceGraphic"/></feMerge>'
    "</filter>"
)


def text(x, y, content, size, fill=WHITE, weight="normal", anchor="middle",
         opacity=1.0, family=FONT, spacing=0):
    extra = f' letter-spacing="{fmt(spacing)}"' if spacing else ""
    return (
        f'<text x="{fmt(x)}" y="{fmt(y)}" font-family="{family}" '
        f'font-size="{fmt(size)}" font-weight="{weight}" fill="{fill}" '
        f'fill-opacity="{fmt(opacity)}" text-anchor="{anchor}"{extra}>'
        f"{escape(content)}</text>"
    )


def linear_gradient(ident, stops, x1=0, y1=0, x2=0, y2=1):
    body = "".join(
        f'<stop offset="{fmt(offset)}" stop-color="{color}" '
        f'stop-opacity="{fmt(opacity)}"/>'
        for offset, color, opacity in stops
    )
    return (
        f'<linearGradient id="{ident}" x1="{fmt(x1)}" y1="{fmt(y1)}" '
        f'x2="{fmt(x2)}" y2="{fmt(y2)}">{body}</linearGradient>'
    )


def radial_glow(ident, color, opacity):
    return (
        f'<radialGradient id="{ident}">'
        f'<stop offset="0" stop-color="{color}" stop-opacity="{fmt(opacity)}"/>'
        f'<stop offset="1" stop-color="{color}" stop-opacity="0"/>'
        "</radialGradient>"
    )


def rect(x, y, w, h, fill, radius=0, opacity=1.0, stroke=None,
         stroke_width=1, stroke_opacity=1.0):
    line = ""
    if stroke:
        line = (f' stroke="{stroke}" stroke-width="{fmt(stroke_width)}" '
                f'stroke-opacity="{fmt(stroke_opacity)}"')
    return (
        f'<rect x="{fmt(x)}" y="{fmt(y)}" width="{fmt(w)}" height="{fmt(h)}" '
        f'rx="{fmt(radius)}" fill="{fill}" fill-opacity="{fmt(opacity)}"{line}/>'
    )


def circle(cx, cy, r, fill, opacity=1.0, stroke=None, stroke_width=1):
    line = f' stroke="{stroke}" stroke-width="{fmt(stroke_width)}"' if stroke else ""
    return (f'<circle cx="{fmt(cx)}" cy="{fmt(cy)}" r="{fmt(r)}" fill="{fill}" '
            f'fill-opacity="{fmt(opacity)}"{line}/>')


def icon(glyph, cx, cy, size, color, stroke_width=2.0, shadow=False, opacity=1.0):
    """Places a 24-unit line glyph centred at (cx, cy), size points wide."""
    scale = size / 24.0
    filt = ' filter="url(#shadow)"' if shadow else ""
    return (
        f'<g{filt} opacity="{fmt(opacity)}">'
        f'<g transform="translate({fmt(cx - size / 2)} {fmt(cy - size / 2)}) '
        f'scale({fmt(scale)})" fill="none" stroke="{color}" '
        f'stroke-width="{fmt(stroke_width / scale if scale else stroke_width)}" '
        f'stroke-linecap="round" stroke-linejoin="round" color="{color}">'
        f"{glyph}</g></g>"
    )


def char_width(ch):
    """Rough advance of one character in ems, good enough to wrap lines."""
    if ord(ch) > 0x2E80:
        return 1.0
    if ch in "il.,:;'!|":
        return 0.28
    if ch in "mwMW":
        return 0.85
    if ch.isupper():
        return 0.66
    if ch == " ":
        return 0.28
    return 0.55


def text_width(content, size):
    return sum(char_width(ch) for ch in content) * size


NO_LINE_START = set("，。、：；！？）」』》,.:;!?)")


def wrap(content, size, width):
    """Breaks text into lines no wider than width.

    Latin text breaks at spaces; CJK text may break after any character.
    """
    lines, line = [], ""
    tokens = []
    word = ""
    for ch in content:
        if ord(ch) > 0x2E80:
            if word:
                tokens.append(word)
                word = ""
            tokens.append(ch)
        elif ch == " ":
            if word:
                tokens.append(word)
            tokens.append(" ")
            word = ""
        else:
            word += ch
    if word:
        tokens.append(word)
    for token in tokens:
        candidate = line + token
        # Closing punctuation never starts a line; it hangs at the end instead.
        if token in NO_LINE_START:
            line = candidate
            continue
        if line and text_width(candidate.rstrip(), size) > width:
            lines.append(line.rstrip())
            line = token.lstrip() if token != " " else ""
        else:
            line = candidate
    if line.strip():
        lines.append(line.rstrip())
    return lines


# Line glyphs on a 24 x 24 grid, drawn with round strokes.
GLYPHS = {
    "chat": (
        '<path d="M4 5.5h16a1.5 1.5 0 0 1 1.5 1.5v9a1.5 1.5 0 0 1-1.5 1.5H10l-4.5 3.5v-3.5H4'
        'a1.5 1.5 0 0 1-1.5-1.5V7A1.5 1.5 0 0 1 4 5.5z"/>'
        '<path d="M10 8.5l-1 6M14.5 8.5l-1 6M8 10.3h7.5M7.5 12.8h7.5"/>'
    ),
    "screen": (
        '<rect x="2.5" y="4" width="19" height="13" rx="2"/>'
        '<path d="M8 21h8M12 17v4"/>'
        '<path d="M10 7.8v5.4l4.6-2.7z" fill="currentColor"/>'
    ),
    "person": (
        '<circle cx="12" cy="8" r="4.2"/>'
        '<path d="M3.8 21c0-4.6 3.7-7.6 8.2-7.6s8.2 3 8.2 7.6"/>'
    ),
    "chevron_left": '<path d="M14.5 5L7.5 12l7 7"/>',
    "chevron_right": '<path d="M9.5 5l7 7-7 7"/>',
    "share": (
        '<circle cx="17.5" cy="5.5" r="2.6"/><circle cx="6.5" cy="12" r="2.6"/>'
        '<circle cx="17.5" cy="18.5" r="2.6"/>'
        '<path d="M8.8 10.7l6.4-3.9M8.8 13.3l6.4 3.9"/>'
    ),
    "speaker": (
        '<path d="M4 9.5h3.5L12 5.5v13l-4.5-4H4z" fill="currentColor"/>'
        '<path d="M15.5 9a4.2 4.2 0 0 1 0 6M18 6.5a7.8 7.8 0 0 1 0 11"/>'
    ),
    "expand": (
        '<path d="M4 9V4h5M4 4l6 6M20 9V4h-5M20 4l-6 6M4 15v5h5M4 20l6-6M20 15v5h-5M20 20l-6-6"/>'
    ),
    "grid": (
        '<rect x="4" y="4" width="6.5" height="6.5" rx="1.6"/>'
        '<rect x="13.5" y="4" width="6.5" height="6.5" rx="1.6"/>'
        '<rect x="4" y="13.5" width="6.5" height="6.5" rx="1.6"/>'
        '<rect x="13.5" y="13.5" width="6.5" height="6.5" rx="1.6"/>'
    ),
}


def gear_glyph():
    """A gear with eight teeth, computed so the teeth are even."""
    import math
    points = []
    teeth = 8
    outer, inner = 9.6, 7.4
    for i in range(teeth * 4):
        angle = (i / (teeth * 4.0)) * 2 * math.pi - math.pi / 2
        radius = outer if (i % 4) in (1, 2) else inner
        points.append((12 + radius * math.cos(angle), 12 + radius * math.sin(angle)))
    path = "M" + " L".join(f"{fmt(x)} {fmt(y)}" for x, y in points) + " Z"
    return f'<path d="{path}"/><circle cx="12" cy="12" r="3.2"/>'


GLYPHS["gear"] = gear_glyph()


def play_triangle(cx, cy, size, color, shadow=True):
    """A solid play triangle with softly rounded corners."""
    h = size
    w = size * 0.88
    x0 = cx - w * 0.42
    filt = ' filter="url(#shadow)"' if shadow else ""
    return (
        f'<path{filt} d="M{fmt(x0)} {fmt(cy - h / 2)} L{fmt(x0 + w)} {fmt(cy)} '
        f'L{fmt(x0)} {fmt(cy + h / 2)} Z" fill="{color}" stroke="{color}" '
        f'stroke-width="{fmt(size * 0.12)}" stroke-linejoin="round"/>'
    )


def pause_bars(cx, cy, size, color, shadow=True):
    bar_w = size * 0.28
    gap = size * 0.22
    filt = ' filter="url(#shadow)"' if shadow else ""
    return (
        f"<g{filt}>"
        + rect(cx - gap / 2 - bar_w, cy - size / 2, bar_w, size, color, radius=bar_w * 0.3)
        + rect(cx + gap / 2, cy - size / 2, bar_w, size, color, radius=bar_w * 0.3)
        + "</g>"
    )


def double_triangle(cx, cy, size, color, forward=True):
    """The seek indicator's fast-forward (or rewind) mark."""
    h = size
    w = size * 0.62
    parts = []
    for offset in (-w * 0.5, w * 0.5):
        x_mid = cx + offset
        if forward:
            d = (f"M{fmt(x_mid - w / 2)} {fmt(cy - h / 2)} L{fmt(x_mid + w / 2)} {fmt(cy)} "
                 f"L{fmt(x_mid - w / 2)} {fmt(cy + h / 2)} Z")
        else:
            d = (f"M{fmt(x_mid + w / 2)} {fmt(cy - h / 2)} L{fmt(x_mid - w / 2)} {fmt(cy)} "
                 f"L{fmt(x_mid + w / 2)} {fmt(cy + h / 2)} Z")
        parts.append(f'<path d="{d}" fill="{color}" stroke="{color}" '
                     f'stroke-width="{fmt(size * 0.08)}" stroke-linejoin="round"/>')
    return '<g filter="url(#shadow)">' + "".join(parts) + "</g>"

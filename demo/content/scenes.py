"""Pictures of the sample content, written as SVG.

Thumbnails, video title cards, video backgrounds and app icons share the
app's palette and helpers (resources/src/svgkit.py), so the sample lessons
look like they belong to the app.
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "resources", "src"))

from svgkit import (ACCENT, INK, MIST, WHITE, circle, document, fmt,  # noqa: E402
                    linear_gradient, radial_glow, rect, text, text_width, wrap)

# Scene glyphs on a 24 x 24 grid, stroked like the app's own icons.
SCENES = {
    "coffee": '<path d="M4 9h12v5a5 5 0 0 1-5 5H9a5 5 0 0 1-5-5z"/>'
              '<path d="M16 10.5h1.5a2.5 2.5 0 0 1 0 5H16"/>'
              '<path d="M8 3.5c-.8 1 .8 2-.1 3.2M12 3.5c-.8 1 .8 2-.1 3.2M3 21.5h15"/>',
    "plane": '<path d="M21 15.5l-8-4.5V5a1.5 1.5 0 0 0-3 0v6l-8 4.5V17l8-2.5V19l-2.5 1.8V22'
             'l4-1 4 1v-1.2L13 19v-4.5l8 2.5z"/>',
    "chat": '<path d="M4 4.5h11a1.5 1.5 0 0 1 1.5 1.5v6.5A1.5 1.5 0 0 1 15 14H9l-4 3v-3H4'
            'a1.5 1.5 0 0 1-1.5-1.5V6A1.5 1.5 0 0 1 4 4.5z"/>'
            '<path d="M19 9h1a1.5 1.5 0 0 1 1.5 1.5V16a1.5 1.5 0 0 1-1.5 1.5h-1v3l-4-3h-4"/>',
    "briefcase": '<rect x="3" y="7" width="18" height="13" rx="2"/>'
                 '<path d="M9 7V5a1.5 1.5 0 0 1 1.5-1.5h3A1.5 1.5 0 0 1 15 5v2M3 12.5h18'
                 'M11 12.5v2h2v-2"/>',
    "food": '<path d="M7 3v7a2 2 0 0 0 2 2v9M11 3v7a2 2 0 0 1-2 2M9 3v5"/>'
            '<path d="M17 21V3c-2.5 1.5-3.5 4.5-3.5 8.5H17"/>',
    "globe": '<circle cx="12" cy="12" r="9"/><path d="M3 12h18"/>'
             '<path d="M12 3c2.6 2.6 3.8 5.6 3.8 9s-1.2 6.4-3.8 9c-2.6-2.6-3.8-5.6-3.8-9'
             's1.2-6.4 3.8-9z"/>',
    "phone": '<rect x="6.5" y="2.5" width="11" height="19" rx="2.5"/>'
             '<path d="M10.5 5.5h3M11 18.5h2"/>',
    "bag": '<path d="M5 8h14l-1.2 12.5H6.2z"/><path d="M9 10V6.5a3 3 0 0 1 6 0V10"/>',
    "star": '<path d="M12 3.2l2.7 5.6 6.1.9-4.4 4.3 1 6.1L12 17.2l-5.4 2.9 1-6.1-4.4-4.3'
            ' 6.1-.9z"/>',
    "hotel": '<path d="M3 20.5h18M5 20.5V6l7-3 7 3v14.5"/>'
             '<path d="M9 9h1.5M13.5 9H15M9 12.5h1.5M13.5 12.5H15M10.5 20.5v-4h3v4"/>',
    "film": '<rect x="3" y="5" width="18" height="14" rx="2"/>'
            '<path d="M7 5v14M17 5v14M3 9.5h4M3 14.5h4M17 9.5h4M17 14.5h4"/>',
    "medical": '<rect x="3.5" y="3.5" width="17" height="17" rx="4"/>'
               '<path d="M12 7.5v9M7.5 12h9"/>',
    "sun": '<circle cx="12" cy="12" r="4"/>'
           '<path d="M12 2.5v2M12 19.5v2M2.5 12h2M19.5 12h2M5.3 5.3l1.4 1.4M17.3 17.3l1.4 1.4'
           'M5.3 18.7l1.4-1.4M17.3 6.7l1.4-1.4"/>',
    "train": '<rect x="5" y="3" width="14" height="14" rx="3"/>'
             '<path d="M5 10h14M9 14h.5M14.5 14h.5M8 17l-2.5 4M16 17l2.5 4M9.5 6h5"/>',
    "car": '<path d="M3.5 16v-3.5l2-5A2 2 0 0 1 7.4 6h9.2a2 2 0 0 1 1.9 1.5l2 5V16a1 1 0 0 1-1'
           ' 1H4.5a1 1 0 0 1-1-1z"/><path d="M3.5 12.5h17"/>'
           '<circle cx="7.5" cy="17.5" r="1.8"/><circle cx="16.5" cy="17.5" r="1.8"/>',
    "heart": '<path d="M12 20s-8-4.6-8-10.4A4.4 4.4 0 0 1 12 7a4.4 4.4 0 0 1 8 2.6C20 15.4'
             ' 12 20 12 20z"/>',
    "music": '<path d="M9 18V5.5l11-2.5v12.5"/>'
             '<circle cx="6.5" cy="18" r="2.5"/><circle cx="17.5" cy="15.5" r="2.5"/>',
    "gift": '<rect x="3.5" y="8.5" width="17" height="4" rx="1"/>'
            '<path d="M5 12.5v8h14v-8M12 8.5v12M12 8.5c-1.5-3.5-5.5-4-5.5-1.5S12 8.5 12 8.5z'
            'M12 8.5c1.5-3.5 5.5-4 5.5-1.5S12 8.5 12 8.5z"/>',
    "dumbbell": '<path d="M6.5 7v10M17.5 7v10M3.5 9.5v5M20.5 9.5v5M6.5 12h11"/>',
    "ball": '<circle cx="12" cy="12" r="9"/>'
            '<path d="M12 7.5l4 2.9-1.5 4.6h-5L8 10.4zM12 3v4.5M16 10.4l4.4-1.6M14.5 15l2.7'
            ' 3.8M9.5 15l-2.7 3.8M8 10.4L3.6 8.8"/>',
    "camera": '<path d="M4 7.5h3.2L9 5h6l1.8 2.5H20a1.5 1.5 0 0 1 1.5 1.5v9.5A1.5 1.5 0 0 1'
              ' 20 20H4a1.5 1.5 0 0 1-1.5-1.5V9A1.5 1.5 0 0 1 4 7.5z"/>'
              '<circle cx="12" cy="13.5" r="3.8"/>',
    "book": '<path d="M12 6.5C10 5 7 4.5 3.5 5v13.5c3.5-.5 6.5 0 8.5 1.5 2-1.5 5-2 8.5-1.5V5'
            'C17 4.5 14 5 12 6.5zM12 6.5V20"/>',
    "mic": '<rect x="9" y="2.5" width="6" height="11" rx="3"/>'
           '<path d="M5.5 11a6.5 6.5 0 0 0 13 0M12 17.5v4M8.5 21.5h7"/>',
}

# Two-colour backgrounds, picked per lesson; all sit well under white text.
PALETTES = [
    ("#DE1268", "#7A2BB5"), ("#1F7AE0", "#27305E"), ("#E2622A", "#B0124F"),
    ("#12A38C", "#1E3B5C"), ("#7A2BB5", "#232A66"), ("#D99A0F", "#C2274F"),
    ("#2B8FD6", "#7A2BB5"), ("#C0265E", "#3B1D4F"),
]


def palette(index):
    return PALETTES[index % len(PALETTES)]


def scene_glyph(scene, cx, cy, size, color=WHITE, stroke=2.0, opacity=1.0):
    glyph = SCENES[scene]
    scale = size / 24.0
    return (
        f'<g opacity="{fmt(opacity)}" transform="translate({fmt(cx - size / 2)} '
        f'{fmt(cy - size / 2)}) scale({fmt(scale)})" fill="none" stroke="{color}" '
        f'stroke-width="{fmt(stroke / scale)}" stroke-linecap="round" '
        f'stroke-linejoin="round">{glyph}</g>'
    )


def backdrop(w, h, index, glow_x, glow_y):
    top, bottom = palette(index)
    defs = linear_gradient("bg", [(0, top, 1), (1, bottom, 1)], x2=1, y2=1)
    defs += radial_glow("glow", WHITE, 0.28)
    body = rect(0, 0, w, h, "url(#bg)")
    body += (f'<ellipse cx="{fmt(glow_x)}" cy="{fmt(glow_y)}" rx="{fmt(w * 0.55)}" '
             f'ry="{fmt(h * 0.75)}" fill="url(#glow)"/>')
    # soft rings give the flat gradient some depth
    body += circle(w * 0.92, h * 0.05, h * 0.55, WHITE, opacity=0.07)
    body += circle(w * 0.05, h * 1.02, h * 0.42, WHITE, opacity=0.06)
    return defs, body


def fitted_lines(content, size, width, max_lines, min_size):
    """The largest font size (down to min_size) at which content fits."""
    while True:
        lines = wrap(content, size, width)
        if len(lines) <= max_lines or size <= min_size:
            return lines[:max_lines], size
        size -= 0.5


def topic_thumbnail(lesson, index):
    """147 x 91: the grid tile. The app draws the title band on the lower third."""
    w, h = 147, 91
    defs, body = backdrop(w, h, index, w * 0.75, h * 0.3)
    body += circle(118, 30, 21, WHITE, opacity=0.16)
    body += scene_glyph(lesson["scene"], 118, 30, 26, stroke=1.8)
    body += rect(9, 9, 38, 11, WHITE, radius=5.5, opacity=0.22)
    body += text(28, 17.2, f"LESSON {index + 1:02d}", 6, weight="bold")
    lines, size = fitted_lines(lesson["titleEn"], 11.5, 84, 2, 8.5)
    for n, line in enumerate(lines):
        body += text(10, 34 + n * (size + 2.5), line, size, weight="bold", anchor="start")
    return document(w, h, body, defs)


def show_thumbnail(lesson, index):
    """300 x 153: the show row. The app draws the title on the lower 50 points."""
    w, h = 300, 153
    defs, body = backdrop(w, h, index + 3, w * 0.8, h * 0.25)
    body += circle(238, 52, 40, WHITE, opacity=0.16)
    body += scene_glyph(lesson["scene"], 238, 52, 48, stroke=2.0)
    body += rect(16, 14, 58, 16, WHITE, radius=8, opacity=0.22)
    body += text(45, 25.5, f"SHOW {index + 1:02d}", 8.5, weight="bold")
    lines, size = fitted_lines(lesson["titleEn"], 21, 170, 2, 14)
    for n, line in enumerate(lines):
        body += text(16, 52 + n * (size + 4), line, size, weight="bold", anchor="start")
    body += text(16, 96 - (0 if len(lines) > 1 else size + 4), lesson["titleZh"], 12,
                 anchor="start", opacity=0.85)
    return document(w, h, body, defs)


def title_card(lesson, index, number_text, category):
    """640 x 360: the first seconds of a video."""
    w, h = 640, 360
    defs, body = backdrop(w, h, index, w * 0.3, h * 0.25)
    body += circle(w / 2, 108, 52, WHITE, opacity=0.18)
    body += scene_glyph(lesson["scene"], w / 2, 108, 58, stroke=2.6)
    zh_lines, zh_size = fitted_lines(lesson["titleZh"], 40, 560, 1, 28)
    body += text(w / 2, 214, zh_lines[0], zh_size, weight="bold")
    en_lines, en_size = fitted_lines(lesson["titleEn"], 26, 560, 1, 18)
    body += text(w / 2, 254, en_lines[0], en_size, opacity=0.92)
    info = f"{number_text}  ·  {category}  ·  {lesson['teachers']}"
    body += rect(w / 2 - text_width(info, 14) / 2 - 16, 274, text_width(info, 14) + 32, 28,
                 INK, radius=14, opacity=0.25)
    body += text(w / 2, 293, info, 14, opacity=0.9)
    body += text(w / 2, 340, "Lorvane  英语口语", 12, weight="bold", opacity=0.6, spacing=1)
    return document(w, h, body, defs)


def lesson_background(lesson, index, number_text):
    """640 x 360: behind the sentence; ffmpeg draws the sentence, labels and clock."""
    w, h = 640, 360
    top, bottom = palette(index)
    defs = linear_gradient("bg", [(0, "#1E2133", 1), (1, INK, 1)], x2=1, y2=1)
    defs += radial_glow("glowA", top, 0.55) + radial_glow("glowB", bottom, 0.45)
    body = rect(0, 0, w, h, "url(#bg)")
    body += '<ellipse cx="560" cy="40" rx="300" ry="220" fill="url(#glowA)"/>'
    body += '<ellipse cx="40" cy="360" rx="300" ry="200" fill="url(#glowB)"/>'
    # header: lesson mark and title
    body += circle(44, 40, 20, top, opacity=0.9)
    body += scene_glyph(lesson["scene"], 44, 40, 22, stroke=2.0)
    body += text(76, 36, lesson["titleEn"], 17, weight="bold", anchor="start")
    body += text(76, 55, f"{lesson['titleZh']}  ·  {number_text}", 12, fill=MIST,
                 anchor="start")
    body += text(600, 44, "Lorvane", 14, weight="bold", anchor="end", opacity=0.55)
    # the sentence sits on a card; its text is drawn by the video filter
    body += rect(40, 88, 560, 176, WHITE, radius=16, opacity=0.06, stroke=WHITE,
                 stroke_width=1, stroke_opacity=0.12)
    body += rect(40, 100, 4, 152, ACCENT, radius=2)
    # the playback track; a marker moves along it as the video plays
    body += rect(40, 318, 470, 4, WHITE, radius=2, opacity=0.18)
    return document(w, h, body, defs)


def marker(w=16, h=16):
    return document(w, h, circle(w / 2, h / 2, 6, ACCENT, stroke=WHITE, stroke_width=2))


def app_icon(app, index):
    """57 x 57 (rendered at 2x): a rounded tile with the app's glyph."""
    w, h = 57, 57
    top, bottom = palette(index + 1)
    defs = linear_gradient("tile", [(0, top, 1), (1, bottom, 1)], x2=1, y2=1)
    defs += linear_gradient("sheen", [(0, WHITE, 0.25), (1, WHITE, 0)])
    body = rect(0, 0, w, h, "url(#tile)", radius=12.5)
    body += f'<path d="M0 12.5A12.5 12.5 0 0 1 12.5 0h32A12.5 12.5 0 0 1 57 12.5V26H0z" ' \
            f'fill="url(#sheen)"/>'
    body += scene_glyph(app["glyph"], w / 2, h / 2, 30, stroke=2.2)
    return document(w, h, body, defs)

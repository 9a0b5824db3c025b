#!/usr/bin/env python3
"""The catalogue of the app's named pictures.

Every picture the screens ask for by name is listed here with its size in
points, where it is used, and how it is drawn. Running this file writes one
SVG per picture into resources/svg/ and the list into resources/README.md;
scripts/make-resources then renders each SVG at 1x and 2x.

The names are the ones the screens use, character for character, odd ones
included ("暂倯-1", "mmmmm", "xxxxxxxx", "屏幕 -2", "返回－02").
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source folders free of caches
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from svgkit import (ACCENT, ACCENT_DARK, ACCENT_LIGHT, ACCENT_PALE, GLYPHS, INK,  # noqa: E402
                    MIST, NAVY, SLATE, WHITE, circle, document, double_triangle,
                    fmt, icon, linear_gradient, pause_bars, play_triangle,
                    radial_glow, rect, text, wrap)

PICTURES = []


def picture(name, width, height, usage):
    """Registers the decorated function as the drawing of one picture."""
    def register(draw):
        PICTURES.append((name, width, height, usage, draw))
        return draw
    return register


# ---------------------------------------------------------------- shell --

@picture("工具栏底-原大", 320, 45, "tab bar background (CustomTarBar)")
def tab_bar_background(w, h):
    defs = linear_gradient("bar", [(0, "#24273C", 1), (1, "#15161F", 1)])
    return document(w, h, (
        rect(0, 0, w, h, "url(#bar)")
        + rect(0, 0, w, 0.5, WHITE, opacity=0.12)
    ), defs)


TABS = [
    ("潮话题图标-原大", "潮话题", "chat", "tab 0 button, topic grid"),
    ("秀潮流图标-原大", "秀潮流", "screen", "tab 1 button, show list"),
    ("Orvel是谁图标-原大", "Orvel是谁", "person", "tab 2 button, teacher page"),
    ("设置图标-原大", "设置", "gear", "tab 3 button, settings"),
]


def tab_button(caption, glyph, selected):
    def draw(w, h):
        color = ACCENT_LIGHT if selected else MIST
        body = ""
        if selected:
            body += rect(3, 2, w - 6, h - 4, WHITE, radius=8, opacity=0.07)
            body += rect(w / 2 - 9, 0, 18, 2, ACCENT, radius=1)
        body += icon(GLYPHS[glyph], w / 2, 16, 21, color, stroke_width=1.7)
        size = 9.5 if len(caption) > 3 else 10
        body += text(w / 2, 38.5, caption, size, fill=color,
                     weight="bold" if selected else "normal")
        return document(w, h, body)
    return draw


for _name, _caption, _glyph, _usage in TABS:
    picture(f"{_name}-01", 51, 44, f"{_usage}, normal (caption drawn in)")(
        tab_button(_caption, _glyph, False))
    picture(f"{_name}-02", 51, 44, f"{_usage}, selected (caption drawn in)")(
        tab_button(_caption, _glyph, True))


def page_background(glow_a, glow_b):
    def draw(w, h):
        defs = (linear_gradient("base", [(0, "#2B2E48", 1), (0.55, "#1C1E2E", 1),
                                         (1, INK, 1)])
                + radial_glow("glowA", glow_a[2], glow_a[3])
                + radial_glow("glowB", glow_b[2], glow_b[3])
                + '<pattern id="dots" width="16" height="16" patternUnits="userSpaceOnUse">'
                + circle(8, 8, 0.7, WHITE, opacity=0.05) + "</pattern>")
        body = (rect(0, 0, w, h, "url(#base)")
                + f'<ellipse cx="{fmt(glow_a[0])}" cy="{fmt(glow_a[1])}" rx="230" ry="200" '
                'fill="url(#glowA)"/>'
                + f'<ellipse cx="{fmt(glow_b[0])}" cy="{fmt(glow_b[1])}" rx="260" ry="220" '
                'fill="url(#glowB)"/>'
                + rect(0, 0, w, h, "url(#dots)"))
        return document(w, h, body, defs)
    return draw


picture("mmmmm", 320, 568,
        "common page background: topic grid, show list, settings, app "
        "recommendation, teacher and about pages")(
    page_background((300, 40, ACCENT, 0.30), (0, 520, "#5B3FD1", 0.22)))

picture("主底大", 320, 568, "lesson detail page background; feedback page root view")(
    page_background((20, 90, ACCENT, 0.26), (320, 560, "#3F6FD1", 0.18)))


def title_bar(w, h):
    defs = linear_gradient("nav", [(0, ACCENT, 1), (1, "#E8457D", 1)], x2=1, y2=0)
    defs += linear_gradient("sheen", [(0, WHITE, 0.16), (1, WHITE, 0)])
    return document(w, h, (
        rect(0, 0, w, h, "url(#nav)")
        + rect(0, 0, w, h * 0.5, "url(#sheen)")
        + rect(0, h - 0.5, w, 0.5, ACCENT_DARK)
    ), defs)


picture("导航栏-原大", 320, 44,
        "title bar of the detail, app recommendation and about pages")(title_bar)
picture("导航栏", 320, 44, "title bar of the feedback page")(title_bar)


def back_pill(pressed):
    def draw(w, h):
        fill, opacity = (WHITE, 0.95) if pressed else (WHITE, 0.16)
        ink = ACCENT if pressed else WHITE
        body = rect(0.75, 0.75, w - 1.5, h - 1.5, fill, radius=(h - 1.5) / 2,
                    opacity=opacity, stroke=WHITE, stroke_width=1, stroke_opacity=0.7)
        body += icon(GLYPHS["chevron_left"], 12.5, h / 2, 13, ink, stroke_width=2)
        body += text(31, h / 2 + 4.3, "返回", 12, fill=ink, weight="bold")
        return document(w, h, body)
    return draw


picture("返回按钮-原大-01", 50, 29, "back button on title bars, normal")(back_pill(False))
picture("返回按钮-原大-02", 50, 29, "back button on title bars, highlighted")(back_pill(True))


def share_button(pressed):
    def draw(w, h):
        body = ""
        if pressed:
            body += circle(w / 2, h / 2, 16, WHITE, opacity=0.22)
        body += icon(GLYPHS["share"], w / 2, h / 2, 21, WHITE, stroke_width=1.9,
                     shadow=not pressed)
        return document(w, h, body)
    return draw


picture("分享按钮-原大-01", 70, 44, "share button on the detail page's title bar, normal")(
    share_button(False))
picture("分享按钮-原大-02", 70, 44, "share button on the detail page's title bar, highlighted")(
    share_button(True))

# --------------------------------------------------------------- player --


def glyph_button(glyph, color, size, halo=False, stroke=2.0):
    def draw(w, h):
        body = ""
        if halo:
            body += circle(w / 2, h / 2, min(w, h) * 0.36, WHITE, opacity=0.14)
        body += icon(GLYPHS[glyph], w / 2, h / 2, size, color, stroke_width=stroke,
                     shadow=True)
        return document(w, h, body)
    return draw


def speed_pill(fill, opacity, stroke_opacity=0.0):
    def draw(w, h):
        ph = min(h - 10, 22)
        body = rect(7, (h - ph) / 2, w - 14, ph, fill, radius=ph / 2, opacity=opacity,
                    stroke=WHITE, stroke_width=1, stroke_opacity=stroke_opacity)
        return document(w, h, body)
    return draw


picture("视频课程播放-倍数", 58, 33,
        "speed button background in the player's head bar, normal (black title drawn over)")(
    speed_pill(WHITE, 0.9))
picture("视频课程播放-倍数2", 58, 33,
        "speed button background in the player's head bar, highlighted")(
    speed_pill(ACCENT_PALE, 1.0))
picture("xxxxxxxx", 58, 33,
        "layout reference of the player's head bar: width sets the title inset and "
        "speed button width, height the back button width")(
    speed_pill(WHITE, 0.0, stroke_opacity=0.25))

picture("返回按下-1", 33, 33, "player back button, normal")(
    glyph_button("chevron_left", WHITE, 20, stroke=2.4))
picture("返回-1", 33, 33, "player back button, highlighted")(
    glyph_button("chevron_left", ACCENT_LIGHT, 20, halo=True, stroke=2.4))

picture("视频课程播放-音量", 51, 51, "player volume button (landscape), normal")(
    glyph_button("speaker", WHITE, 24, stroke=1.9))
picture("视频课程播放-音量-按下", 51, 51, "player volume button (landscape), highlighted")(
    glyph_button("speaker", ACCENT_LIGHT, 24, halo=True, stroke=1.9))

picture("屏幕 -2", 51, 51, "player full-screen button (portrait)")(
    glyph_button("expand", WHITE, 21, stroke=2.0))


def play_button(color, halo=False, size=18):
    def draw(w, h):
        body = circle(w / 2, h / 2, min(w, h) * 0.36, WHITE, opacity=0.14) if halo else ""
        body += play_triangle(w / 2, h / 2, size, color)
        return document(w, h, body)
    return draw


def pause_button(color, halo=False, size=17):
    def draw(w, h):
        body = circle(w / 2, h / 2, min(w, h) * 0.36, WHITE, opacity=0.14) if halo else ""
        body += pause_bars(w / 2, h / 2, size, color)
        return document(w, h, body)
    return draw


picture("播放-2", 51, 51, "play/pause button while not playing, normal")(play_button(WHITE))
picture("播放-1", 51, 51, "play/pause button while not playing, highlighted")(
    play_button(ACCENT_LIGHT, halo=True))
picture("暂倯-1", 51, 51, "play/pause button while playing, normal")(pause_button(WHITE))
picture("暂倯-2", 51, 51, "play/pause button while playing, highlighted")(
    pause_button(ACCENT_LIGHT, halo=True))

# VideoHeadView and VideoBottomView: the standalone bars, drawn for a bar 40 high.
picture("返回－02", 40, 40, "VideoHeadView back button, normal")(
    glyph_button("chevron_left", WHITE, 22, stroke=2.4))
picture("返回_03", 40, 40, "VideoHeadView back button, highlighted")(
    glyph_button("chevron_left", ACCENT_LIGHT, 22, halo=True, stroke=2.4))
picture("倍数_05", 58, 40, "VideoHeadView speed button background (white title drawn over)")(
    speed_pill(WHITE, 0.12, stroke_opacity=0.85))
picture("16-视频课程播放--切图-恢复的2_10", 40, 40, "VideoBottomView play button, normal")(
    play_button(WHITE, size=16))
picture("2_10", 40, 40, "VideoBottomView play button, highlighted")(
    play_button(ACCENT_LIGHT, halo=True, size=16))
picture("音量_", 40, 40, "VideoBottomView volume button on its red background, normal")(
    glyph_button("speaker", WHITE, 22, stroke=1.9))
picture("音量_13", 40, 40, "VideoBottomView volume button, highlighted")(
    glyph_button("speaker", ACCENT_PALE, 22, halo=True, stroke=1.9))


def track(color, opacity, w_radius=True):
    def draw(w, h):
        return document(w, h, rect(0, 0, w, h, color, radius=h / 2 if w_radius else 0,
                                   opacity=opacity))
    return draw


picture("音量1", 16, 8, "three-state slider track left of the thumb (status 1)")(
    track(ACCENT, 1.0))
picture("音量2png", 16, 8, "three-state slider track right of the thumb (status 3)")(
    track(WHITE, 0.3))

# ProgressSlider: the scrubber. Its track is inset 3 points at each end; the
# value images are the rounded end caps that fill those 3 points.


def end_cap(color, opacity, left):
    def draw(w, h):
        r = h / 2
        if left:
            d = (f"M{fmt(w)} 0 H{fmt(r)} A{fmt(r)} {fmt(r)} 0 0 0 {fmt(r)} {fmt(h)} "
                 f"H{fmt(w)} Z")
        else:
            d = (f"M0 0 H{fmt(w - r)} A{fmt(r)} {fmt(r)} 0 0 1 {fmt(w - r)} {fmt(h)} "
                 f"H0 Z")
        return document(w, h, f'<path d="{d}" fill="{color}" fill-opacity="{fmt(opacity)}"/>')
    return draw


picture("3", 3, 6, "scrubber minimum-value image: left end cap of the played track")(
    end_cap(ACCENT, 1.0, True))
picture("6", 3, 6, "scrubber maximum-value image: right end cap of the remaining track")(
    end_cap(WHITE, 0.3, False))
picture("2", 8, 6, "scrubber minimum track (played part)")(track(ACCENT, 1.0, False))
picture("5", 8, 6, "scrubber maximum track (remaining part)")(track(WHITE, 0.3, False))


def thumb(ring, core, halo):
    def draw(w, h):
        cx, cy = w / 2, h / 2
        body = ""
        if halo:
            body += circle(cx, cy, ring + 5, ACCENT, opacity=0.28)
        body += f'<g filter="url(#shadow)">{circle(cx, cy, ring, WHITE)}</g>'
        body += circle(cx, cy, core, ACCENT)
        return document(w, h, body)
    return draw


picture("progressButton_h", 51, 51, "scrubber thumb, normal")(thumb(8, 3, False))
picture("ProgressButton", 51, 51, "scrubber thumb, highlighted (while dragged)")(
    thumb(9, 4, True))
picture("未标题-1_11", 8, 3, "volume slider minimum track (below the thumb)")(
    track(ACCENT, 1.0, False))
picture("未标题-1_04", 8, 3, "volume slider maximum track (above the thumb)")(
    track(WHITE, 0.3, False))
picture("volumeButton", 50, 50, "volume slider thumb, normal")(thumb(7, 2.5, False))
picture("volumeButtonH", 50, 50, "volume slider thumb, highlighted")(thumb(8, 3.2, True))


def seek_mark(forward):
    def draw(w, h):
        body = double_triangle(w / 2, h * 0.34, 34, WHITE, forward=forward)
        return document(w, h, body)
    return draw


picture("进(2)", 155, 155, "seek indicator picture while a pan seeks forward")(seek_mark(True))
picture("退(2)", 155, 155, "seek indicator picture while a pan seeks backward")(seek_mark(False))

# ------------------------------------------------------------- settings --


def row_background(radius, pressed):
    def draw(w, h):
        if pressed:
            body = rect(0.5, 1, w - 1, h - 2, WHITE, radius=radius, opacity=0.95)
            ink, ink_opacity = ACCENT, 1.0
        else:
            body = rect(0.5, 1, w - 1, h - 2, WHITE, radius=radius, opacity=0.08,
                        stroke=WHITE, stroke_width=0.5, stroke_opacity=0.16)
            ink, ink_opacity = WHITE, 0.45
        body += icon(GLYPHS["chevron_right"], w - 18, h / 2, 14, ink, stroke_width=1.8,
                     opacity=ink_opacity)
        return document(w, h, body)
    return draw


picture("Lorvane-设置-a-原大-01", 300, 44, "settings row background, normal")(
    row_background(8, False))
picture("Lorvane-设置-a-原大-02", 300, 44, "settings row background, selected")(
    row_background(8, True))


@picture("版权高清", 220, 40, "copyright picture under the settings rows")
def copyright_picture(w, h):
    defs = linear_gradient("mark", [(0, ACCENT_LIGHT, 1), (1, ACCENT, 1)])
    body = rect(18, 7, 26, 26, "url(#mark)", radius=7)
    body += play_triangle(31.5, 20, 10, WHITE, shadow=False)
    body += text(52, 18, "Lorvane 英语口语", 12, weight="bold", anchor="start", opacity=0.85)
    body += text(52, 32, "© 2013 Lorvane Studio 版权所有", 9, fill=MIST, anchor="start")
    return document(w, h, body, defs)


picture("Lorvane-应用推荐_a_01", 300, 76, "app recommendation row background, normal")(
    row_background(10, False))
picture("Lorvane-应用推荐_a_02", 300, 76, "app recommendation row background, selected")(
    row_background(10, True))


@picture("应用推荐图标-原大", 57, 57, "placeholder icon of a recommended app")
def app_placeholder(w, h):
    defs = linear_gradient("tile", [(0, "#474B6B", 1), (1, SLATE, 1)])
    body = rect(0.5, 0.5, w - 1, h - 1, "url(#tile)", radius=12.5,
                stroke=WHITE, stroke_width=0.5, stroke_opacity=0.2)
    body += icon(GLYPHS["grid"], w / 2, h / 2, 28, WHITE, stroke_width=1.8, opacity=0.55)
    return document(w, h, body, defs)


# ---------------------------------------------------------- teacher page --

TEACHER_PARAGRAPHS = [
    "Orvel 来自美国加州，在中国教英语口语已经十年，学生从小学生到外企高管都有。",
    "他相信学口语不靠死记单词，而是靠每天开口：看懂一个场景，听清一句话，跟着说三遍。",
    "Lorvane 的每节课只有几十秒：一个真实场景，一句地道表达，先慢速、再常速，反复跟读。",
]
TEACHER_EXTRA = [
    "在地铁上、排队时、睡觉前，随时打开，和 Orvel 一起把英语说出口。",
]


def portrait(cx, cy, r):
    """Orvel, drawn as a friendly flat illustration inside a circle."""
    clip = f'<clipPath id="face"><circle cx="{fmt(cx)}" cy="{fmt(cy)}" r="{fmt(r)}"/></clipPath>'
    s = r / 44.0

    def p(x, y):
        return f"{fmt(cx + x * s)} {fmt(cy + y * s)}"

    body = circle(cx, cy, r + 3, WHITE, opacity=0.9)
    body += f'<g clip-path="url(#face)">'
    body += circle(cx, cy, r, "#FBD3E2")
    # shirt and collar
    body += (f'<path d="M{p(-40, 44)} C{p(-38, 22)} {p(-20, 16)} {p(0, 16)} '
             f'C{p(20, 16)} {p(38, 22)} {p(40, 44)} Z" fill="{SLATE}"/>')
    body += f'<path d="M{p(-9, 17)} L{p(0, 29)} L{p(9, 17)} Z" fill="{WHITE}"/>'
    body += f'<path d="M{p(-2, 22)} L{p(0, 34)} L{p(2, 22)} Z" fill="{ACCENT}"/>'
    # neck and head
    body += f'<rect x="{fmt(cx - 7 * s)}" y="{fmt(cy + 4 * s)}" width="{fmt(14 * s)}" ' \
            f'height="{fmt(14 * s)}" fill="#E9B48F"/>'
    body += (f'<ellipse cx="{fmt(cx)}" cy="{fmt(cy - 8 * s)}" rx="{fmt(17 * s)}" '
             f'ry="{fmt(20 * s)}" fill="#F2C6A2"/>')
    # hair
    body += (f'<path d="M{p(-18, -10)} C{p(-20, -32)} {p(-4, -34)} {p(4, -31)} '
             f'C{p(16, -34)} {p(22, -22)} {p(18, -10)} C{p(14, -20)} {p(2, -24)} '
             f'{p(-10, -20)} C{p(-14, -18)} {p(-16, -14)} {p(-18, -10)} Z" fill="#6B4A32"/>')
    # glasses, eyes and smile
    for side in (-1, 1):
        body += (f'<circle cx="{fmt(cx + side * 7.5 * s)}" cy="{fmt(cy - 8 * s)}" '
                 f'r="{fmt(5.6 * s)}" fill="none" stroke="{NAVY}" stroke-width="{fmt(1.6 * s)}"/>')
        body += circle(cx + side * 7.5 * s, cy - 8 * s, 1.6 * s, NAVY)
    body += (f'<path d="M{p(-1.9, -8)} L{p(1.9, -8)}" stroke="{NAVY}" '
             f'stroke-width="{fmt(1.6 * s)}"/>')
    body += (f'<path d="M{p(-6, 2)} Q{p(0, 7)} {p(6, 2)}" fill="none" stroke="#9A4B3A" '
             f'stroke-width="{fmt(1.8 * s)}" stroke-linecap="round"/>')
    body += "</g>"
    return clip, body


def teacher_page(tall):
    def draw(w, h):
        defs = linear_gradient("head", [(0, ACCENT, 1), (1, "#7A2BB5", 1)], x2=1, y2=1)
        defs += linear_gradient("card", [(0, "#23263A", 0.96), (1, "#181A27", 0.96)])
        clip, face = portrait(w / 2, 92, 40 if tall else 34)
        defs += clip
        head_h = 150 if tall else 128
        body = rect(0, 0, w, h, "url(#card)", radius=12)
        body += (f'<path d="M0 12 A12 12 0 0 1 12 0 H{fmt(w - 12)} A12 12 0 0 1 {fmt(w)} 12 '
                 f'V{fmt(head_h)} H0 Z" fill="url(#head)"/>')
        body += circle(w - 30, 26, 46, WHITE, opacity=0.06)
        body += circle(24, head_h - 8, 30, WHITE, opacity=0.05)
        body += text(w / 2, 30, "Orvel 是谁？", 17, weight="bold")
        body += face
        y = head_h + 30
        body += text(w / 2, y, "你的英语口语私教", 15, weight="bold")
        y += 8
        body += rect(w / 2 - 14, y, 28, 2.5, ACCENT, radius=1.25)
        y += 24
        size, lead = 12.5, 21
        # The short picture keeps the two paragraphs that say who he is and
        # how a lesson goes; the tall one has room for all of them.
        paragraphs = (TEACHER_PARAGRAPHS + TEACHER_EXTRA if tall
                      else [TEACHER_PARAGRAPHS[0], TEACHER_PARAGRAPHS[2]] + TEACHER_EXTRA)
        box_h = 52
        box_y = h - box_h - 18
        for paragraph in paragraphs:
            for line in wrap(paragraph, size, w - 44):
                body += text(22, y, line, size, anchor="start", opacity=0.86)
                last_baseline = y
                y += lead
            y += 8
        if last_baseline > box_y - 10:
            raise SystemExit(f"teacher text runs into the sample box ({h} high)")
        # a sample of the lesson style: one English line with its rhythm mark
        body += rect(18, box_y, w - 36, box_h, WHITE, radius=10, opacity=0.07,
                     stroke=WHITE, stroke_width=0.5, stroke_opacity=0.15)
        body += rect(26, box_y + 12, 3, box_h - 24, ACCENT, radius=1.5)
        body += text(38, box_y + 21, "“Could I get a latte, please?”", 13, weight="bold",
                     anchor="start")
        body += text(38, box_y + 40, "慢速一遍 · 常速一遍 · 跟读三遍", 10.5, fill=MIST,
                     anchor="start")
        return document(w, h, body, defs)
    return draw


picture("Lorvane-orvel是谁", 300, 396,
        "teacher introduction on the third tab (screens other than 640 x 1136)")(
    teacher_page(False))
picture("orvel是谁_加长版", 300, 484,
        "teacher introduction on the third tab, tall-screen variant (640 x 1136)")(
    teacher_page(True))


# ----------------------------------------------------------------- main --

README_HEAD = """# Named pictures

Every picture the screens load by name, as `NAME.png` (1x) and `NAME@2x.png`
(2x, twice the pixels). The names are used exactly as the screens spell them,
odd ones included: "暂倯-1" and "暂倯-2" (the pause pair), "mmmmm",
"xxxxxxxx", "屏幕 -2" (with a space), "返回－02" (with a full-width hyphen),
"音量2png", "返回按下-1" for the normal and "返回-1" for the highlighted back
button, and the reversed numbering of the play pair ("播放-2" normal,
"播放-1" highlighted).

Sources: `src/pictures.py` (the catalogue: names, sizes, drawings) and
`src/svgkit.py` (palette and drawing helpers) write one SVG per picture into
`svg/`; `scripts/make-resources` renders every SVG with `rsvg-convert` at 1x
and 2x and rewrites this list. Both the SVGs and the PNGs are checked in, so
the build needs no renderer. `scripts/check-resources` verifies that every
picture below exists at both scales with the right pixel sizes.

Sizes are in points (1x pixels). Pictures for buttons are drawn at the size of
the button, with the glyph centred, so they look the same whether the button
shows its image at its own size or fills its frame with it. Track pictures
are small and meant to be stretched.

| Name | Points | Used for |
|---|---|---|
"""


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    svg_dir = os.path.join(root, "svg")
    os.makedirs(svg_dir, exist_ok=True)
    names = set()
    for name, width, height, _usage, draw in PICTURES:
        if name in names:
            raise SystemExit(f"picture {name!r} is listed twice")
        names.add(name)
        with open(os.path.join(svg_dir, name + ".svg"), "w", encoding="utf-8") as out:
            out.write(draw(width, height))
    # SVGs of pictures that left the catalogue would be rendered again; drop them.
    for entry in os.listdir(svg_dir):
        if entry.endswith(".svg") and entry[:-4] not in names:
            os.remove(os.path.join(svg_dir, entry))
    with open(os.path.join(root, "README.md"), "w", encoding="utf-8") as out:
        out.write(README_HEAD)
        for name, width, height, usage, _draw in PICTURES:
            out.write(f"| `{name}` | {fmt(width)} x {fmt(height)} | {usage} |\n")
    for name, width, height, _usage, _draw in PICTURES:
        print(f"{name}\t{fmt(width)}\t{fmt(height)}")


if __name__ == "__main__":
    main()

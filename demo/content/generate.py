#!/usr/bin/env python3
"""Generates the sample content that the sample content server serves.

    generate.py OUTDIR

From lessons.json and apps.json beside this file it writes the content
tree (tree.py) into OUTDIR:

    feeds/topic.json, feeds/show.json   the two feed answers
    api/app/resourcelist_ng.json        the recommended apps
    thumbs/<id>.jpg              lesson thumbnails at 2x the cell size
    videos/<id>.mp4              one H.264/AAC lesson video per lesson
    captions/<id>.vtt            its captions (WebVTT), timed by its sound
    icons/app-NN.png             app icons at 2x
    apps/app-NN.html             the page each app's "action" link opens

Every output is rebuilt only when it is missing or older than the sources,
and a stamp file records a complete run, so a second run returns at once.
Outputs are written under a temporary name and renamed, so an interrupted
run never leaves a half-written file that looks finished.
"""

import array
import concurrent.futures
import fcntl
import html
import json
import math
import os
import subprocess
import sys
import tempfile
import time
import wave

sys.dont_write_bytecode = True  # keep the source folders free of caches

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import captions  # noqa: E402
import scenes  # noqa: E402
import tree  # noqa: E402
from svgkit import wrap  # noqa: E402  (scenes puts resources/src on the path)

SIZE = (640, 360)
FPS = 15
SLOW_WPM = 115
NORMAL_WPM = 160
# The narrator announces the title; the two speakers of a scene differ in
# base voice, variant and pitch, so a listener tells them apart at once.
NARRATOR = ("en-us", 50)
VOICES = {"male": ("en-gb+m3", 38), "female": ("en-us+f2", 72)}
LINE_GAP = 0.7  # silence after each line of a scene
PRACTICE_GAP = 0.6  # and before the practice rounds
MAX_ROUNDS = 3
# Speech starts where a sample first exceeds this level; a clip keeps this
# much of the quiet around its speech.
SPEECH_LEVEL = 256
SPEECH_MARGIN = 0.02
NUMBER_WORDS = ["one", "two", "three", "four", "five", "six", "seven", "eight", "nine",
                "ten", "eleven", "twelve", "thirteen", "fourteen", "fifteen", "sixteen",
                "seventeen", "eighteen", "nineteen", "twenty"]
FEED_NAMES = {"topic": ("Lesson", "潮话题"), "show": ("Show", "秀潮流")}
JOBS = max(2, os.cpu_count() or 2)  # lessons are made side by side
STAMP = ".complete"
THUMB_POINTS = tree.THUMB_POINTS


class GenerationError(Exception):
    pass


def run(command, **kwargs):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, **kwargs)
    if result.returncode != 0:
        raise GenerationError(f"{command[0]} failed ({result.returncode}):\n"
                              f"{result.stderr.strip()[-2000:]}")
    return result.stdout


def font_file(pattern):
    path = run(["fc-match", "-f", "%{file}", pattern]).strip()
    # fontconfig falls back to any font; a Latin-only one would drop the Chinese.
    if not path or not os.path.exists(path) or "CJK" not in os.path.basename(path):
        raise GenerationError(f"no CJK font file for {pattern!r} (install fonts-noto-cjk)")
    return path


def source_paths():
    paths = [os.path.join(HERE, name) for name in
             ("lessons.json", "apps.json", "generate.py", "scenes.py", "tree.py",
              "captions.py")]
    paths.append(os.path.join(HERE, "..", "..", "resources", "src", "svgkit.py"))
    paths.append(os.path.join(HERE, "..", "..", "scripts", "make-demo-content"))
    return [p for p in paths if os.path.exists(p)]


class Outputs:
    """Knows which outputs are current, and writes new ones atomically."""

    def __init__(self, outdir, sources):
        self.outdir = outdir
        self.newest_source = max(os.path.getmtime(p) for p in sources)

    def path(self, relative):
        return os.path.join(self.outdir, relative)

    def is_current(self, relative):
        path = self.path(relative)
        return os.path.exists(path) and os.path.getmtime(path) >= self.newest_source

    def temporary(self, relative, suffix):
        """A private name beside the final file, so concurrent runs never share one."""
        path = self.path(relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        return f"{path}.{os.getpid()}.part{suffix}"

    def commit(self, temporary, relative):
        final = self.path(relative)
        os.makedirs(os.path.dirname(final), exist_ok=True)
        os.replace(temporary, final)


def render_svg(svg_text, width, height, png_path, workdir):
    svg_path = os.path.join(workdir, os.path.basename(png_path) + ".svg")
    with open(svg_path, "w", encoding="utf-8") as out:
        out.write(svg_text)
    run(["rsvg-convert", "-w", str(width), "-h", str(height), "-o", png_path, svg_path])


# ------------------------------------------------------------------ audio --

def speak(sentence, wpm, path, voice=None):
    """Speaks sentence into a WAV file; returns the clip (rate, samples)
    with the silence espeak-ng puts around speech cut off, so a clip's
    place on the timeline is where its speech is."""
    name, pitch = voice or NARRATOR
    run(["espeak-ng", "-v", name, "-p", str(pitch), "-s", str(wpm), "-w", path, sentence])
    with wave.open(path, "rb") as clip:
        if clip.getsampwidth() != 2 or clip.getnchannels() != 1:
            raise GenerationError("espeak-ng gave an unexpected sample format")
        rate, frames = clip.getframerate(), clip.readframes(clip.getnframes())
    return rate, trimmed(frames, rate)


def trimmed(frames, rate):
    samples = array.array("h", frames)
    if sys.byteorder == "big":
        samples.byteswap()
    first, last = 0, len(samples)
    while first < last and abs(samples[first]) <= SPEECH_LEVEL:
        first += 1
    while last > first and abs(samples[last - 1]) <= SPEECH_LEVEL:
        last -= 1
    if first == last:
        raise GenerationError("espeak-ng gave a clip without speech")
    margin = int(rate * SPEECH_MARGIN)
    first, last = max(0, first - margin), min(len(samples), last + margin)
    return frames[first * 2:last * 2]


def duration_of(clip):
    rate, frames = clip
    return len(frames) / 2 / rate


class Timeline:
    """Where everything of a lesson's video happens, in seconds.

    events: (clip key, start) for each clip in the sound track
    segments: (label, start, end) for the part names shown
    turns: (line, start, end) while a line of the scene is spoken
    rounds: (line, start, end) while a line is practised on screen
    cues: (start, end, line) for each line heard, from its clip's place
    """

    def __init__(self):
        self.intro_end = 0.0
        self.play_time = 0
        self.events, self.segments, self.turns, self.rounds, self.cues = [], [], [], [], []


def lesson_timeline(play_time, title_clip, line_clips, slow_clips, dialogue, practice):
    """Places the spoken parts in the video.

    The title is announced over the title card. With dialogue the lines of
    the scene follow, each in its speaker's voice. Then each practised
    line is spoken slowly, then at normal speed, then a pause leaves room
    to repeat it. With a fixed play_time (one practised line) the round
    repeats as often as the length allows, up to three times, and a last
    shorter round (normal speed and the pause) fills what is left when it
    fits; without one, each practised line gets one round and the video
    lasts as long as they need. Cue times are the clips' own places and
    lengths, so captions match what is heard.
    """
    plan = Timeline()
    plan.intro_end = max(4.0, 0.6 + duration_of(title_clip) + 0.8)
    outro = 1.5
    plan.events.append(("title", 0.6))
    t = plan.intro_end
    if dialogue:
        begin = t
        for n, clip in enumerate(line_clips):
            length = duration_of(clip)
            plan.events.append((("line", n), t))
            plan.cues.append((t, t + length, n))
            plan.turns.append((n, t, t + length + LINE_GAP))
            t += length + LINE_GAP
        plan.segments.append(("情景 SCENE", begin, t))
        t += PRACTICE_GAP

    def repeat(n):
        return max(2.5, duration_of(line_clips[n]) + 0.6)

    def full(n):
        return duration_of(slow_clips[n]) + 1.0 + short(n)

    def short(n):
        return duration_of(line_clips[n]) + 0.6 + repeat(n) + 0.6

    if play_time is None:
        order = [(n, True) for n in practice]
        play_time = math.ceil(t + sum(full(n) for n in practice) + outro)
    else:
        if len(practice) != 1:
            raise GenerationError("a fixed playTime takes exactly one practised line")
        n = practice[0]
        room = play_time - t - outro
        rounds = min(int(room // full(n)), MAX_ROUNDS)
        if rounds < 1:
            needed = math.ceil(t + full(n) + outro)
            raise GenerationError(f"playTime {play_time} is too short for the scene and "
                                  f"one round of its line (needs {needed})")
        order = [(n, True)] * rounds
        if rounds < MAX_ROUNDS and room - rounds * full(n) >= short(n):
            order.append((n, False))
    for n, slow in order:
        begin = t
        if slow:
            length = duration_of(slow_clips[n])
            plan.events.append((("slow", n), t))
            plan.cues.append((t, t + length, n))
            plan.segments.append(("慢速 SLOW", t, t + length))
            t += length + 1.0
        length = duration_of(line_clips[n])
        plan.events.append((("line", n), t))
        plan.cues.append((t, t + length, n))
        plan.segments.append(("常速 NORMAL", t, t + length))
        t += length + 0.6
        plan.segments.append(("跟读 YOUR TURN", t, t + repeat(n)))
        t += repeat(n) + 0.6
        plan.rounds.append((n, begin, t))
    plan.segments.append(("太棒了 WELL DONE", t, play_time))
    # The last practised line stays up through the closing seconds.
    if plan.rounds:
        n, begin, _ = plan.rounds[-1]
        plan.rounds[-1] = (n, begin, play_time)
    plan.play_time = play_time
    return plan


def mix_audio(play_time, clips, events, path):
    """Writes a mono 16-bit WAV of exactly play_time seconds; clips are keyed
    like the events."""
    rate = clips["title"][0]
    total = int(round(play_time * rate))
    samples = bytearray(total * 2)
    for name, start in events:
        clip_rate, frames = clips[name]
        if clip_rate != rate:
            raise GenerationError("espeak-ng clips differ in sample rate")
        offset = int(round(start * rate)) * 2
        end = min(offset + len(frames), len(samples))
        samples[offset:end] = frames[:end - offset]
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(bytes(samples))


# ------------------------------------------------------------------ video --

def clock_text(seconds):
    seconds = int(seconds)
    return f"{seconds // 60:02d}:{seconds % 60:02d}"


def drawtext(fonts, textfile, size, color, x, y, enable=None, box=None, bold=True):
    font = fonts["bold"] if bold else fonts["regular"]
    options = [f"fontfile={escape_filter(font)}", f"textfile={escape_filter(textfile)}",
               f"fontsize={size}", f"fontcolor={color}", f"x={x}", f"y={y}"]
    if box:
        options += ["box=1", f"boxcolor={box}", "boxborderw=8"]
    if enable:
        options.append(f"enable='{enable}'")
    return "drawtext=" + ":".join(options)


def escape_filter(value):
    return "'" + value.replace("\\", "\\\\").replace("'", "'\\''") + "'"


def write_text(workdir, name, content):
    path = os.path.join(workdir, name)
    with open(path, "w", encoding="utf-8") as out:
        out.write(content)
    return path


class Script:
    """What a lesson's video says: its lines [(speaker, English, Chinese)],
    the speakers' names [(English, Chinese)] and voices, whether the lines
    are first played as a scene, and the lines practised after it."""

    def __init__(self, lines, roles, voices, dialogue, practice):
        self.lines, self.roles, self.voices = lines, roles, voices
        self.dialogue, self.practice = dialogue, practice


def lesson_script(lesson):
    """A sample lesson's scene ("lines" and "roles"), practising its
    "sentence"; or a description's "sentences", each practised in turn."""
    if "lines" in lesson:
        roles = [(role["en"], role["zh"]) for role in lesson["roles"]]
        voices = [VOICES[role["voice"]] for role in lesson["roles"]]
        lines = [(item["who"], item["en"], item["zh"]) for item in lesson["lines"]]
        practice = [n for n, (_, english, _) in enumerate(lines)
                    if english == lesson["sentence"]]
        return Script(lines, roles, voices, True, practice)
    lines = [(0, item["en"], item.get("zh", "")) for item in lesson["sentences"]]
    return Script(lines, [], [VOICES["male"]], False, list(range(len(lines))))


def centred_lines(fonts, workdir, name, english, chinese, shown, middle):
    """drawtext filters for a line in the middle of the card, English above
    its Chinese meaning."""
    chain = []
    lines = wrap(english, 30, 500)
    top = middle - (len(lines) * 42 + 34) / 2
    for k, line in enumerate(lines):
        path = write_text(workdir, f"{name}-{k}.txt", line)
        chain.append(drawtext(fonts, path, 30, "white", "(w-text_w)/2",
                              f"{top + k * 42:.0f}", shown))
    if chinese:
        gloss = write_text(workdir, f"{name}-zh.txt", chinese)
        chain.append(drawtext(fonts, gloss, 18, "0x9AA0B8", "(w-text_w)/2",
                              f"{top + len(lines) * 42 + 8:.0f}", shown, bold=False))
    return chain


def speaker_filters(fonts, workdir, script, timeline):
    """The two speakers of the scene side by side on the card, the one
    speaking lit, and which line of how many it is. The words themselves
    are left to captions, so a learner can listen first."""
    if not timeline.turns:
        return []
    chain = []
    begin, end = timeline.turns[0][1], timeline.turns[-1][2]
    scene = f"between(t,{begin:.2f},{end:.2f})"
    centres = ("160-text_w/2", "480-text_w/2")
    for who, (english, chinese) in enumerate(script.roles):
        name = write_text(workdir, f"role{who}.txt", english)
        chain.append(drawtext(fonts, name, 28, "white@0.35", centres[who], "134", scene))
        gloss = write_text(workdir, f"role{who}-zh.txt", chinese)
        chain.append(drawtext(fonts, gloss, 16, "white@0.35", centres[who], "176", scene,
                              bold=False))
    for n, start, stop in timeline.turns:
        who = script.lines[n][0]
        speaking = f"between(t,{start:.2f},{stop:.2f})"
        name = os.path.join(workdir, f"role{who}.txt")
        chain.append(drawtext(fonts, name, 28, "white", centres[who], "134", speaking,
                              box="0xDE1268@0.9"))
        gloss = os.path.join(workdir, f"role{who}-zh.txt")
        chain.append(drawtext(fonts, gloss, 16, "white", centres[who], "176", speaking,
                              bold=False))
        count = write_text(workdir, f"turn{n}.txt", f"{n + 1} / {len(script.lines)}")
        chain.append(drawtext(fonts, count, 15, "0x9AA0B8", "(w-text_w)/2", "228", speaking,
                              bold=False))
    return chain


def make_video(lesson, index, feed, fonts, output, workdir, play_time=None, announce=None):
    """Writes the lesson's video to the file output. With play_time None the
    video lasts as long as its lines need. Returns the video's length and
    its cues [(start, end, English, Chinese)], placed where each line is
    heard."""
    ident = lesson["id"]
    if play_time is not None and not 20 <= play_time <= 60:
        raise GenerationError(f"{ident}: playTime {play_time} is outside 20 to 60 seconds")
    word, category = FEED_NAMES[feed]
    number = index + 1
    number_text = f"{word} {number:02d}"
    if announce is None:
        announce = f"{word} {NUMBER_WORDS[index]}. {lesson['titleEn']}."
    script = lesson_script(lesson)

    clips = {"title": speak(announce, 150, os.path.join(workdir, "title.wav"))}
    line_clips, slow_clips = [], {}
    for n, (who, english, _) in enumerate(script.lines):
        voice = script.voices[who]
        clips[("line", n)] = speak(english, NORMAL_WPM, os.path.join(workdir, f"line{n}.wav"),
                                   voice)
        line_clips.append(clips[("line", n)])
        if n in script.practice:
            clips[("slow", n)] = slow_clips[n] = speak(
                english, SLOW_WPM, os.path.join(workdir, f"slow{n}.wav"), voice)
    timeline = lesson_timeline(play_time, clips["title"], line_clips, slow_clips,
                               script.dialogue, script.practice)
    play_time = timeline.play_time
    audio = os.path.join(workdir, "lesson.wav")
    mix_audio(play_time, clips, timeline.events, audio)

    background = os.path.join(workdir, "background.png")
    card = os.path.join(workdir, "card.png")
    dot = os.path.join(workdir, "marker.png")
    render_svg(scenes.lesson_background(lesson, index, number_text), *SIZE, background, workdir)
    render_svg(scenes.title_card(lesson, index, number_text, category), *SIZE, card, workdir)
    render_svg(scenes.marker(), 16, 16, dot, workdir)

    intro_end = timeline.intro_end
    after_intro = f"gte(t,{intro_end:.2f})"
    chain = speaker_filters(fonts, workdir, script, timeline)
    for r, (n, begin, end) in enumerate(timeline.rounds):
        _, english, chinese = script.lines[n]
        chain += centred_lines(fonts, workdir, f"round{r}", english, chinese,
                               f"between(t,{begin:.2f},{end:.2f})", 176)
    for n, (label, start, end) in enumerate(timeline.segments):
        path = write_text(workdir, f"label{n}.txt", label)
        chain.append(drawtext(fonts, path, 16, "white", "48", "282",
                              f"between(t,{start:.2f},{end:.2f})", box="0xDE1268@0.9"))
    clock = write_text(workdir, "clock.txt",
                       "%{eif:trunc(t/60):d:2}:%{eif:mod(trunc(t),60):d:2}"
                       f" / {clock_text(play_time)}")
    chain.append(drawtext(fonts, clock, 15, "white", "522", "311", None, bold=False))
    graph = (
        f"[0:v]{','.join(chain)}[lesson];"
        f"[lesson][2:v]overlay=x='40+462*t/{play_time}':y=312:enable='{after_intro}'[moving];"
        f"[moving][1:v]overlay=0:0:enable='lt(t,{intro_end:.2f})',format=yuv420p[out]"
    )
    graph_path = write_text(workdir, "graph.txt", graph)

    run(["ffmpeg", "-nostdin", "-v", "error", "-y",
         "-loop", "1", "-framerate", str(FPS), "-i", background,
         "-loop", "1", "-framerate", str(FPS), "-i", card,
         "-loop", "1", "-framerate", str(FPS), "-i", dot,
         "-i", audio,
         "-filter_complex_script", graph_path, "-map", "[out]", "-map", "3:a",
         "-t", str(play_time), "-r", str(FPS),
         "-c:v", "libx264", "-preset", "veryfast", "-crf", "27", "-g", str(FPS * 2),
         "-c:a", "aac", "-b:a", "64k", "-ar", "44100",
         "-threads", "1", "-filter_threads", "1",
         "-movflags", "+faststart", "-f", "mp4", output])
    cues = [(start, end, script.lines[n][1], script.lines[n][2])
            for start, end, n in timeline.cues]
    return play_time, cues


def make_thumbnail(lesson, index, feed, output, workdir):
    """Writes the lesson's generated thumbnail (JPEG, 2x the cell) to output."""
    if feed == "topic":
        svg, (width, height) = scenes.topic_thumbnail(lesson, index), THUMB_POINTS["topic"]
    else:
        svg, (width, height) = scenes.show_thumbnail(lesson, index), THUMB_POINTS["show"]
    png = os.path.join(workdir, "thumbnail.png")
    render_svg(svg, width * 2, height * 2, png, workdir)
    run(["convert", png, "-strip", "-quality", "86", "-sampling-factor", "4:2:0",
         "jpeg:" + output])


# --------------------------------------------------------------- per item --

def make_lesson(lesson, index, feed, fonts, outputs):
    made = []
    with tempfile.TemporaryDirectory(prefix=f"lorvane-{lesson['id']}-") as workdir:
        if not outputs.is_current(lesson["imageUrl"]):
            temporary = outputs.temporary(lesson["imageUrl"], ".jpg")
            make_thumbnail(lesson, index, feed, temporary, workdir)
            outputs.commit(temporary, lesson["imageUrl"])
            made.append(lesson["imageUrl"])
        # The captions are timed by the sound of the video: both are made
        # together, the captions last, so current captions mean a current video.
        if not (outputs.is_current(lesson["videoUrl"])
                and outputs.is_current(lesson["subtitleUrl"])):
            temporary = outputs.temporary(lesson["videoUrl"], ".mp4")
            _, cues = make_video(lesson, index, feed, fonts, temporary, workdir,
                                 play_time=int(lesson["playTime"]))
            written = outputs.temporary(lesson["subtitleUrl"], ".vtt")
            with open(written, "wb") as out:
                out.write(captions.render(cues))
            outputs.commit(temporary, lesson["videoUrl"])
            outputs.commit(written, lesson["subtitleUrl"])
            made += [lesson["videoUrl"], lesson["subtitleUrl"]]
    return made


APP_PAGE = """<!DOCTYPE html>
<html lang="zh-CN">
<head><meta charset="utf-8"><meta name="viewport" content="width=device-width">
<title>{title}</title>
<style>
body {{ margin: 0; font-family: "Noto Sans CJK SC", sans-serif; background: #1C1E2E;
       color: #fff; }}
main {{ max-width: 560px; margin: 0 auto; padding: 32px 20px; }}
img {{ width: 114px; height: 114px; border-radius: 25px; }}
h1 {{ font-size: 24px; margin: 16px 0 4px; }}
.sub {{ color: #9AA0B8; margin: 0 0 20px; }}
.get {{ display: inline-block; background: #DE1268; color: #fff; padding: 8px 28px;
        border-radius: 18px; text-decoration: none; font-weight: bold; }}
</style></head>
<body><main>
<img src="../{icon}" alt="">
<h1>{title}</h1>
<p class="sub">{subtitle}</p>
<p>{description}</p>
<a class="get" href="#">免费获取</a>
</main></body>
</html>
"""


def make_app(app, index, outputs):
    made = []
    with tempfile.TemporaryDirectory(prefix="lorvane-app-") as workdir:
        icon = app["thumbnail"]
        if not outputs.is_current(icon):
            png = outputs.temporary(icon, ".png")
            render_svg(scenes.app_icon(app, index), 114, 114, png, workdir)
            outputs.commit(png, icon)
            made.append(icon)
        page = app["action"]
        if not outputs.is_current(page):
            temporary = outputs.temporary(page, ".html")
            with open(temporary, "w", encoding="utf-8") as out:
                out.write(APP_PAGE.format(
                    title=html.escape(app["title"]), subtitle=html.escape(app["subtitle"]),
                    description=html.escape(app.get("description", "")),
                    icon=html.escape(icon)))
            outputs.commit(temporary, page)
            made.append(page)
    return made


def write_answers(lessons, apps, outputs):
    """The feed and app-list answers, with links the server completes."""
    answers = {tree.FEEDS[feed]: tree.feed_answer([tree.feed_record(lesson)
                                                  for lesson in lessons[feed]])
               for feed in ("topic", "show")}
    answers[tree.APP_LIST] = tree.app_list_answer([
        {"title": app["title"], "subtitle": app["subtitle"],
         "thumbnail": tree.link(app["thumbnail"]), "action": tree.link(app["action"])}
        for app in apps])
    made = []
    for relative, answer in answers.items():
        if outputs.is_current(relative):
            continue
        temporary = outputs.temporary(relative, ".json")
        with open(temporary, "wb") as out:
            out.write(tree.encoded(answer))
        outputs.commit(temporary, relative)
        made.append(relative)
    return made


# ------------------------------------------------------------------- main --

def check_scene(lesson):
    """A scene: two speakers with names and voices, 6 to 12 lines, and the
    lesson's sentence among them with its meaning."""
    ident = lesson["id"]
    roles, lines = lesson.get("roles"), lesson.get("lines")
    if not isinstance(roles, list) or len(roles) != 2:
        raise GenerationError(f"{ident}: 'roles' must name two speakers")
    for role in roles:
        if not (isinstance(role, dict) and role.get("en") and role.get("zh")
                and role.get("voice") in VOICES):
            raise GenerationError(f"{ident}: a role needs \"en\", \"zh\" and a \"voice\" "
                                  f"({' or '.join(VOICES)})")
    if roles[0]["voice"] == roles[1]["voice"]:
        raise GenerationError(f"{ident}: the two speakers need different voices")
    if not isinstance(lines, list) or not 6 <= len(lines) <= 12:
        raise GenerationError(f"{ident}: 'lines' must hold 6 to 12 lines")
    for n, item in enumerate(lines, 1):
        if not (isinstance(item, dict) and item.get("who") in (0, 1)
                and isinstance(item.get("en"), str) and item["en"].strip()
                and isinstance(item.get("zh"), str) and item["zh"].strip()):
            raise GenerationError(f"{ident}: line {n} needs \"who\" (0 or 1), \"en\" and \"zh\"")
    if {item["who"] for item in lines} != {0, 1}:
        raise GenerationError(f"{ident}: both speakers must speak")
    key = [item for item in lines if item["en"] == lesson["sentence"]]
    if len(key) != 1 or key[0]["zh"] != lesson["sentenceZh"]:
        raise GenerationError(f"{ident}: the lesson's sentence must be one of its lines, "
                              "once, with the same Chinese")


def check_sources(lessons, apps):
    seen = set()
    for feed in ("topic", "show"):
        for lesson in lessons[feed]:
            for key in ("id", "title", "titleZh", "titleEn", "sentence", "sentenceZh",
                        "scene", "imageUrl", "videoUrl", "pubTime", "teachers", "cateName",
                        "playTime", "roles", "lines"):
                if key not in lesson:
                    raise GenerationError(f"lesson {lesson.get('id', '?')} lacks {key!r}")
            if lesson["scene"] not in scenes.SCENES:
                raise GenerationError(f"{lesson['id']}: unknown scene {lesson['scene']!r}")
            check_scene(lesson)
            for key in ("imageUrl", "videoUrl"):
                url = lesson[key]
                if url.startswith("/") or "://" in url or ".." in url.split("/"):
                    raise GenerationError(f"{lesson['id']}: {key} must be a relative path")
                if url in seen:
                    raise GenerationError(f"{lesson['id']}: {url} is used twice")
                seen.add(url)
            if not tree.LESSON_ID.match(lesson["id"]):
                raise GenerationError(f"{lesson['id']}: not a lesson id")
            for key in tree.RECORD_KEYS:
                try:
                    tree.check_plain_text(lesson.get(key), f"{lesson['id']}: {key}")
                except tree.TreeError as error:
                    raise GenerationError(str(error)) from error
    for app in apps:
        for key in ("title", "subtitle", "thumbnail", "action", "glyph"):
            if key not in app:
                raise GenerationError(f"app {app.get('title', '?')} lacks {key!r}")


def with_captions(lessons):
    """Every sample lesson has captions, named after its id."""
    for feed in ("topic", "show"):
        for lesson in lessons[feed]:
            lesson["subtitleUrl"] = tree.caption_path(lesson["id"])


def expected_outputs(lessons, apps):
    paths = set(tree.JSON_FILES)
    for feed in ("topic", "show"):
        for lesson in lessons[feed]:
            paths.update((lesson["imageUrl"], lesson["videoUrl"], lesson["subtitleUrl"]))
    for app in apps:
        paths.update((app["thumbnail"], app["action"]))
    return paths


def remove_stale(outdir, expected):
    """Drops outputs of lessons or apps that left the sources, and leftovers
    of an interrupted run."""
    for entry in os.listdir(outdir):
        if ".part" in entry:
            os.remove(os.path.join(outdir, entry))
    # Earlier generations copied the sources to the top of the tree.
    for entry in ("lessons.json", "apps.json"):
        if os.path.isfile(os.path.join(outdir, entry)):
            os.remove(os.path.join(outdir, entry))
    for folder in ("thumbs", "videos", "captions", "icons", "apps", "feeds", "api/app"):
        root = os.path.join(outdir, folder)
        if not os.path.isdir(root):
            continue
        for entry in os.listdir(root):
            relative = f"{folder}/{entry}"
            if relative not in expected or ".part" in entry:
                os.remove(os.path.join(root, entry))


def main(argv):
    if len(argv) != 2:
        print("usage: generate.py OUTDIR", file=sys.stderr)
        return 2
    outdir = os.path.abspath(argv[1])
    os.makedirs(outdir, exist_ok=True)
    with open(os.path.join(HERE, "lessons.json"), encoding="utf-8") as f:
        lessons = json.load(f)
    with open(os.path.join(HERE, "apps.json"), encoding="utf-8") as f:
        apps = json.load(f)["data"]["resourceList"]
    check_sources(lessons, apps)
    with_captions(lessons)
    outputs = Outputs(outdir, source_paths())
    expected = expected_outputs(lessons, apps)
    # Build presets share one folder; a second run waits for the first and
    # then finds everything current.
    with open(os.path.join(outdir, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        return generate(outdir, lessons, apps, outputs, expected)


def generate(outdir, lessons, apps, outputs, expected):
    stamp = os.path.join(outdir, STAMP)
    if (os.path.exists(stamp) and os.path.getmtime(stamp) >= outputs.newest_source
            and all(os.path.exists(outputs.path(p)) for p in expected)):
        print(f"make-demo-content: {outdir} is up to date")
        return 0
    if os.path.exists(stamp):
        os.remove(stamp)

    started = time.monotonic()
    fonts = {"bold": font_file("Noto Sans CJK SC:bold"),
             "regular": font_file("Noto Sans CJK SC")}
    remove_stale(outdir, expected)
    made = write_answers(lessons, apps, outputs)
    pool = concurrent.futures.ThreadPoolExecutor(max_workers=JOBS)
    try:
        futures = [pool.submit(make_lesson, lesson, index, feed, fonts, outputs)
                   for feed in ("topic", "show")
                   for index, lesson in enumerate(lessons[feed])]
        futures += [pool.submit(make_app, app, index, outputs) for index, app in enumerate(apps)]
        for future in concurrent.futures.as_completed(futures):
            made += future.result()
    except BaseException:
        # A failure or an interrupt stops the queued items; the two running
        # ones finish their current step, and the next run resumes.
        pool.shutdown(wait=True, cancel_futures=True)
        raise
    pool.shutdown()
    with open(stamp, "w", encoding="utf-8") as out:
        out.write(f"{len(expected)} outputs\n")
    print(f"make-demo-content: wrote {len(made)} files into {outdir} "
          f"in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except GenerationError as error:
        print(f"make-demo-content: {error}", file=sys.stderr)
        sys.exit(1)
    except KeyboardInterrupt:
        print("make-demo-content: interrupted; the next run resumes", file=sys.stderr)
        sys.exit(130)

#!/usr/bin/env python3
"""Generates the sample content that the sample content server serves.

    generate.py OUTDIR

From lessons.json and apps.json beside this file it writes the content
tree (tree.py) into OUTDIR:

    feeds/topic.json, feeds/show.json   the two feed answers
    api/app/resourcelist_ng.json        the recommended apps
    thumbs/<id>.jpg              lesson thumbnails at 2x the cell size
    videos/<id>.mp4              one H.264/AAC lesson video per lesson
    icons/app-NN.png             app icons at 2x
    apps/app-NN.html             the page each app's "action" link opens

Every output is rebuilt only when it is missing or older than the sources,
and a stamp file records a complete run, so a second run returns at once.
Outputs are written under a temporary name and renamed, so an interrupted
run never leaves a half-written file that looks finished.
"""

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

import scenes  # noqa: E402
import tree  # noqa: E402
from svgkit import wrap  # noqa: E402  (scenes puts resources/src on the path)

SIZE = (640, 360)
FPS = 15
SLOW_WPM = 115
NORMAL_WPM = 160
VOICE = "en-us"
NUMBER_WORDS = ["one", "two", "three", "four", "five", "six", "seven", "eight", "nine",
                "ten", "eleven", "twelve", "thirteen", "fourteen", "fifteen", "sixteen",
                "seventeen", "eighteen", "nineteen", "twenty"]
FEED_NAMES = {"topic": ("Lesson", "潮话题"), "show": ("Show", "秀潮流")}
JOBS = 2
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
             ("lessons.json", "apps.json", "generate.py", "scenes.py", "tree.py")]
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

def speak(sentence, wpm, path):
    run(["espeak-ng", "-v", VOICE, "-s", str(wpm), "-w", path, sentence])
    with wave.open(path, "rb") as clip:
        if clip.getsampwidth() != 2 or clip.getnchannels() != 1:
            raise GenerationError("espeak-ng gave an unexpected sample format")
        return clip.getframerate(), clip.readframes(clip.getnframes())


def duration_of(clip):
    rate, frames = clip
    return len(frames) / 2 / rate


def lesson_timeline(play_time, title_clip, sentence_clips):
    """Places the spoken parts in the video.

    The title is announced over the title card; then each sentence is
    spoken slowly, then at normal speed, then a pause leaves room to repeat
    it. With a fixed play_time (one sentence) the round repeats as often as
    the length allows, at least twice; without one, each sentence gets one
    round and the video lasts as long as they need.
    Returns (intro_end, play_time, events, segments, rounds) where rounds
    holds (sentence index, start, end) for the sentence on screen.
    """
    intro_end = max(4.0, 0.6 + duration_of(title_clip) + 0.8)
    outro = 1.5

    def cycle(n):
        slow, normal = (duration_of(clip) for clip in sentence_clips[n])
        return slow + 1.0 + normal + 0.6 + max(2.5, normal + 0.6) + 0.6

    if play_time is None:
        order = list(range(len(sentence_clips)))
        play_time = math.ceil(intro_end + sum(cycle(n) for n in order) + outro)
    else:
        if len(sentence_clips) != 1:
            raise GenerationError("a fixed playTime takes exactly one sentence")
        cycles = int((play_time - intro_end - outro) // cycle(0))
        if cycles < 2:
            needed = math.ceil(intro_end + 2 * cycle(0) + outro)
            raise GenerationError(f"playTime {play_time} is too short for two rounds "
                                  f"of the sentence (needs {needed})")
        order = [0] * min(cycles, 4)
    events = [("title", 0.6)]
    segments = []
    rounds = []
    t = intro_end
    for n in order:
        slow, normal = (duration_of(clip) for clip in sentence_clips[n])
        repeat = max(2.5, normal + 0.6)
        begin = t
        events.append((("slow", n), t))
        segments.append(("慢速 SLOW", t, t + slow))
        t += slow + 1.0
        events.append((("normal", n), t))
        segments.append(("常速 NORMAL", t, t + normal))
        t += normal + 0.6
        segments.append(("跟读 YOUR TURN", t, t + repeat))
        t += repeat + 0.6
        rounds.append((n, begin, t))
    segments.append(("太棒了 WELL DONE", t, play_time))
    # The last sentence stays up through the closing seconds.
    if rounds:
        n, begin, _ = rounds[-1]
        rounds[-1] = (n, begin, play_time)
    return intro_end, play_time, events, segments, rounds


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
        offset = int(start * rate) * 2
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


def lesson_sentences(lesson):
    """[(English, Chinese)]: a description's "sentences", or the sample
    lessons' single "sentence"."""
    if "sentences" in lesson:
        return [(item["en"], item.get("zh", "")) for item in lesson["sentences"]]
    return [(lesson["sentence"], lesson["sentenceZh"])]


def make_video(lesson, index, feed, fonts, output, workdir, play_time=None, announce=None):
    """Writes the lesson's video to the file output. With play_time None the
    video lasts as long as its sentences need. Returns its length."""
    ident = lesson["id"]
    if play_time is not None and not 20 <= play_time <= 60:
        raise GenerationError(f"{ident}: playTime {play_time} is outside 20 to 60 seconds")
    word, category = FEED_NAMES[feed]
    number = index + 1
    number_text = f"{word} {number:02d}"
    if announce is None:
        announce = f"{word} {NUMBER_WORDS[index]}. {lesson['titleEn']}."
    sentences = lesson_sentences(lesson)

    clips = {"title": speak(announce, 150, os.path.join(workdir, "title.wav"))}
    sentence_clips = []
    for n, (english, _) in enumerate(sentences):
        clips[("slow", n)] = speak(english, SLOW_WPM, os.path.join(workdir, f"slow{n}.wav"))
        clips[("normal", n)] = speak(english, NORMAL_WPM, os.path.join(workdir, f"normal{n}.wav"))
        sentence_clips.append((clips[("slow", n)], clips[("normal", n)]))
    intro_end, play_time, events, segments, rounds = lesson_timeline(
        play_time, clips["title"], sentence_clips)
    audio = os.path.join(workdir, "lesson.wav")
    mix_audio(play_time, clips, events, audio)

    background = os.path.join(workdir, "background.png")
    card = os.path.join(workdir, "card.png")
    dot = os.path.join(workdir, "marker.png")
    render_svg(scenes.lesson_background(lesson, index, number_text), *SIZE, background, workdir)
    render_svg(scenes.title_card(lesson, index, number_text, category), *SIZE, card, workdir)
    render_svg(scenes.marker(), 16, 16, dot, workdir)

    after_intro = f"gte(t,{intro_end:.2f})"
    chain = []
    for r, (n, begin, end) in enumerate(rounds):
        english, chinese = sentences[n]
        shown = f"between(t,{begin:.2f},{end:.2f})"
        lines = wrap(english, 30, 500)
        top = 176 - (len(lines) * 42 + 34) / 2
        for k, line in enumerate(lines):
            path = write_text(workdir, f"line{r}-{k}.txt", line)
            chain.append(drawtext(fonts, path, 30, "white", "(w-text_w)/2",
                                  f"{top + k * 42:.0f}", shown))
        if chinese:
            gloss = write_text(workdir, f"gloss{r}.txt", chinese)
            chain.append(drawtext(fonts, gloss, 18, "0x9AA0B8", "(w-text_w)/2",
                                  f"{top + len(lines) * 42 + 8:.0f}", shown, bold=False))
    for n, (label, start, end) in enumerate(segments):
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
    return play_time


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
        if not outputs.is_current(lesson["videoUrl"]):
            temporary = outputs.temporary(lesson["videoUrl"], ".mp4")
            make_video(lesson, index, feed, fonts, temporary, workdir,
                       play_time=int(lesson["playTime"]))
            outputs.commit(temporary, lesson["videoUrl"])
            made.append(lesson["videoUrl"])
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

def check_sources(lessons, apps):
    seen = set()
    for feed in ("topic", "show"):
        for lesson in lessons[feed]:
            for key in ("id", "title", "titleZh", "titleEn", "sentence", "sentenceZh",
                        "scene", "imageUrl", "videoUrl", "pubTime", "teachers", "cateName",
                        "playTime"):
                if key not in lesson:
                    raise GenerationError(f"lesson {lesson.get('id', '?')} lacks {key!r}")
            if lesson["scene"] not in scenes.SCENES:
                raise GenerationError(f"{lesson['id']}: unknown scene {lesson['scene']!r}")
            for key in ("imageUrl", "videoUrl"):
                url = lesson[key]
                if url.startswith("/") or "://" in url or ".." in url.split("/"):
                    raise GenerationError(f"{lesson['id']}: {key} must be a relative path")
                if url in seen:
                    raise GenerationError(f"{lesson['id']}: {url} is used twice")
                seen.add(url)
            for key in tree.RECORD_KEYS:
                try:
                    tree.check_plain_text(lesson[key], f"{lesson['id']}: {key}")
                except tree.TreeError as error:
                    raise GenerationError(str(error)) from error
    for app in apps:
        for key in ("title", "subtitle", "thumbnail", "action", "glyph"):
            if key not in app:
                raise GenerationError(f"app {app.get('title', '?')} lacks {key!r}")


def expected_outputs(lessons, apps):
    paths = set(tree.JSON_FILES)
    for feed in ("topic", "show"):
        for lesson in lessons[feed]:
            paths.update((lesson["imageUrl"], lesson["videoUrl"]))
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
    for folder in ("thumbs", "videos", "icons", "apps", "feeds", "api/app"):
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

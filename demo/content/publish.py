#!/usr/bin/env python3
"""Publishes one lesson into a content tree (tree.py).

    publish.py --tree DIR [--video FILE [--captions FILE]] [--feed topic|show] [--last]
               LESSON.json

LESSON.json describes the lesson:

    {
      "id": "coffee-to-go",              optional; made from titleEn
      "feed": "topic",                   optional: "topic" (default) or "show"
      "titleZh": "外带咖啡", "titleEn": "Coffee to Go",
      "teachers": "Orvel", "cateName": "日常生活",
      "pubTime": "2024-05-01",           optional; today
      "scene": "coffee",                 optional; the picture of a generated video
      "sentences": [{"en": "A small flat white to go, please.", "zh": "..."}]
    }

With --video the author's video is transcoded, and --captions adds the
author's WebVTT captions for it (checked: readable, in order, inside the
video). Without --video a video is generated from the sentences (spoken
slowly, at normal speed, then a pause to repeat each) with captions timed
by its sound, when every sentence has its Chinese ("zh"). Either way the
tree gets videos/<id>.mp4 (H.264/AAC, index at the front, a key frame every
2 s), thumbs/<id>.jpg, captions/<id>.vtt when there are captions, and the
lesson's record at the top of its feed (at the end with --last), with
"subtitleUrl" when there are captions.

Everything is made in a private folder inside the tree and moved in at the
end, the feed last; on any failure the tree stays as it was.
"""

import argparse
import datetime
import fcntl
import json
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # keep the source folders free of caches
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import captions  # noqa: E402
import tree  # noqa: E402

KEY_FRAME_SECONDS = 2
MAX_SIZE = (1280, 720)
MAX_FPS = 30
MAX_SECONDS = 3 * 3600
REQUIRED_TEXT = ("titleZh", "titleEn", "teachers", "cateName")


class PublishError(Exception):
    pass


def run(command, what):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        detail = result.stderr.strip().splitlines()
        raise PublishError(f"{what}: {detail[-1] if detail else 'failed'}")
    return result.stdout


# ------------------------------------------------------------ description --

def slug(text):
    words = re.findall(r"[a-z0-9]+", text.lower())
    return "-".join(words)[:48].strip("-")


def read_description(path, feed_override):
    try:
        with open(path, encoding="utf-8") as f:
            lesson = json.load(f)
    except FileNotFoundError:
        raise PublishError(f"{path}: no such file")
    except (OSError, UnicodeDecodeError) as error:
        raise PublishError(f"{path}: cannot read it ({error})")
    except ValueError as error:
        raise PublishError(f"{path}: not JSON ({error})")
    if not isinstance(lesson, dict):
        raise PublishError(f"{path}: must hold one JSON object")

    def text(key, required=True):
        value = lesson.get(key)
        if value is None and not required:
            return None
        if not isinstance(value, str) or not value.strip():
            raise PublishError(f"{path}: {key!r} is missing or is not text")
        try:
            tree.check_plain_text(value, key)
        except tree.TreeError as error:
            raise PublishError(f"{path}: {error}")
        return value.strip()

    described = {key: text(key) for key in REQUIRED_TEXT}
    sentences = lesson.get("sentences")
    if not isinstance(sentences, list) or not sentences:
        raise PublishError(f"{path}: 'sentences' must list at least one "
                           "{\"en\": ..., \"zh\": ...}")
    described["sentences"] = []
    for n, item in enumerate(sentences, 1):
        if not isinstance(item, dict) or not isinstance(item.get("en"), str) \
                or not item["en"].strip():
            raise PublishError(f"{path}: sentence {n} has no English text (\"en\")")
        chinese = item.get("zh", "")
        if not isinstance(chinese, str):
            raise PublishError(f"{path}: sentence {n}: \"zh\" must be text")
        described["sentences"].append({"en": item["en"].strip(), "zh": chinese.strip()})

    feed = feed_override or lesson.get("feed", "topic")
    if feed not in tree.FEEDS:
        raise PublishError(f"{path}: 'feed' must be \"topic\" or \"show\", not {feed!r}")
    described["feed"] = feed
    ident = lesson.get("id") or slug(described["titleEn"])
    if not isinstance(ident, str) or not tree.LESSON_ID.match(ident):
        raise PublishError(f"{path}: 'id' must be lower-case letters, digits and dashes "
                           f"(got {ident!r})")
    described["id"] = ident
    pub_time = text("pubTime", required=False) or datetime.date.today().isoformat()
    described["pubTime"] = pub_time
    scene = lesson.get("scene", "chat")
    described["scene"] = scene
    return described


# ------------------------------------------------------------------ video --

def probe(path):
    out = run(["ffprobe", "-v", "error", "-show_entries",
               "format=duration:stream=codec_type,codec_name,width,height",
               "-of", "json", path], f"cannot read {path} as a video")
    return json.loads(out)


def key_frame_times(path):
    out = run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-skip_frame", "nokey",
               "-show_entries", "frame=pts_time", "-of", "csv=p=0", path],
              "cannot list the key frames")
    times = []
    for line in out.splitlines():
        field = line.split(",")[0].strip()
        if field and field != "N/A":
            times.append(float(field))
    return sorted(times)


def top_level_boxes(path):
    boxes = []
    with open(path, "rb") as f:
        while True:
            head = f.read(8)
            if len(head) < 8:
                break
            size, kind = struct.unpack(">I4s", head)
            boxes.append(kind.decode("latin-1"))
            if size == 1:
                size = struct.unpack(">Q", f.read(8))[0]
                f.seek(size - 16, 1)
            elif size == 0:
                break
            else:
                f.seek(size - 8, 1)
    return boxes


def check_source_video(path):
    if not os.path.isfile(path):
        raise PublishError(f"{path}: no such file")
    if not os.access(path, os.R_OK):
        raise PublishError(f"{path}: cannot read it")
    info = probe(path)
    kinds = [s.get("codec_type") for s in info.get("streams", [])]
    if "video" not in kinds:
        raise PublishError(f"{path}: has no picture (no video stream)")
    if "audio" not in kinds:
        raise PublishError(f"{path}: has no sound (a spoken lesson needs an audio stream)")
    try:
        duration = float(info.get("format", {}).get("duration", "nan"))
    except ValueError:
        duration = math.nan
    if not duration > 0.5:
        raise PublishError(f"{path}: too short or of unknown length")
    if duration > MAX_SECONDS:
        raise PublishError(f"{path}: longer than {MAX_SECONDS // 3600} hours")


def transcode(source, output):
    width, height = MAX_SIZE
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-i", source,
         "-map", "0:v:0", "-map", "0:a:0",
         "-vf", (f"scale=w='min({width},iw)':h='min({height},ih)'"
                 ":force_original_aspect_ratio=decrease:force_divisible_by=2,format=yuv420p"),
         "-fpsmax", str(MAX_FPS),
         "-c:v", "libx264", "-preset", "veryfast", "-crf", "23",
         "-force_key_frames", f"expr:gte(t,n_forced*{KEY_FRAME_SECONDS})", "-sc_threshold", "0",
         "-c:a", "aac", "-b:a", "96k", "-ar", "44100", "-ac", "2",
         "-movflags", "+faststart", "-f", "mp4", output],
        f"cannot transcode {source}")


def check_published_video(path):
    """What the app and the servers rely on; returns the length in seconds."""
    info = probe(path)
    codecs = {s.get("codec_type"): s.get("codec_name") for s in info.get("streams", [])}
    if codecs.get("video") != "h264" or codecs.get("audio") != "aac":
        raise PublishError(f"the transcoded video is {codecs}, not H.264 with AAC")
    boxes = top_level_boxes(path)
    if "moov" not in boxes or "mdat" not in boxes or boxes.index("moov") > boxes.index("mdat"):
        raise PublishError("the transcoded video does not have its index at the front")
    duration = float(info["format"]["duration"])
    keys = key_frame_times(path)
    gaps = [b - a for a, b in zip(keys, keys[1:] + [duration])]
    if not keys or keys[0] > 0.1 or max(gaps) > KEY_FRAME_SECONDS + 0.1:
        raise PublishError("the transcoded video lacks a key frame every "
                           f"{KEY_FRAME_SECONDS} s")
    return duration


def thumbnail_from_video(video, duration, feed, output):
    width, height = (2 * side for side in tree.THUMB_POINTS[feed])
    at = min(duration / 3, 10.0)
    run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-ss", f"{at:.2f}", "-i", video,
         "-frames:v", "1",
         "-vf", (f"scale={width}:{height}:force_original_aspect_ratio=increase,"
                 f"crop={width}:{height}"),
         "-q:v", "3", "-f", "image2", output],
        "cannot take a thumbnail from the video")


# ------------------------------------------------------------------- tree --

def read_captions(path, duration=None):
    """An author's caption file, checked; its bytes go into the tree as they are."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        raise PublishError(f"{path}: no such file")
    except OSError as error:
        raise PublishError(f"{path}: cannot read it ({error})")
    try:
        captions.check(data, duration)
    except captions.CaptionError as error:
        raise PublishError(f"{path}: not usable captions: {error}")
    return data


def publish(tree_dir, description, video, caption_file, at_end):
    lesson_id, feed = description["id"], description["feed"]
    thumb_relative, video_relative = tree.thumbnail_path(lesson_id), tree.video_path(lesson_id)
    caption_relative = tree.caption_path(lesson_id)
    records = tree.feed_records(tree_dir, feed)
    for other in tree.FEEDS:
        for record in tree.feed_records(tree_dir, other):
            if record.get("id") == lesson_id:
                raise PublishError(f"the {other} feed has a lesson {lesson_id!r} already "
                                   "(choose another \"id\")")
    for relative in (thumb_relative, video_relative, caption_relative):
        if os.path.lexists(os.path.join(tree_dir, relative)):
            raise PublishError(f"{relative} exists already (choose another \"id\")")

    work = tempfile.mkdtemp(prefix=f".publish-{lesson_id}-", dir=tree_dir)
    try:
        made_video = os.path.join(work, "video.mp4")
        made_thumb = os.path.join(work, "thumbnail.jpg")
        made_captions = os.path.join(work, "captions.vtt")
        lesson = dict(description, imageUrl=thumb_relative, videoUrl=video_relative)
        caption_data = None
        if video:
            check_source_video(video)
            transcode(video, made_video)
            duration = check_published_video(made_video)
            thumbnail_from_video(made_video, duration, feed, made_thumb)
            if caption_file:
                caption_data = read_captions(caption_file, duration)
        else:
            cues = generate_video(lesson, len(records), feed, made_video, made_thumb, work)
            duration = check_published_video(made_video)
            if all(chinese for _, _, _, chinese in cues):
                caption_data = captions.render(cues)
            else:
                print("publish-lesson: no captions, as a sentence has no Chinese (\"zh\")",
                      file=sys.stderr)
        media = [(made_thumb, thumb_relative), (made_video, video_relative)]
        if caption_data is not None:
            with open(made_captions, "wb") as out:
                out.write(caption_data)
            media.append((made_captions, caption_relative))
            lesson["subtitleUrl"] = caption_relative
        lesson["playTime"] = max(1, int(round(duration)))
        lesson["title"] = f"{description['titleZh']} {description['titleEn']}"
        record = tree.feed_record(lesson)
        new_records = records + [record] if at_end else [record] + records
        made_feed = os.path.join(work, "feed.json")
        with open(made_feed, "wb") as out:
            out.write(tree.encoded(tree.feed_answer(new_records)))
        move_in(tree_dir, media, (made_feed, tree.FEEDS[feed]))
        return record
    finally:
        shutil.rmtree(work, ignore_errors=True)


def generate_video(lesson, index, feed, video_output, thumb_output, work):
    """Makes the video and thumbnail of a lesson without a video of its own;
    returns the cues of its captions."""
    import generate  # the sample generator's drawing and speech
    try:
        fonts = {"bold": generate.font_file("Noto Sans CJK SC:bold"),
                 "regular": generate.font_file("Noto Sans CJK SC")}
        if lesson["scene"] not in generate.scenes.SCENES:
            raise PublishError(f"unknown scene {lesson['scene']!r} (one of "
                               f"{', '.join(sorted(generate.scenes.SCENES))})")
        _, cues = generate.make_video(lesson, index, feed, fonts, video_output, work,
                                      announce=f"{lesson['titleEn']}.")
        generate.make_thumbnail(lesson, index, feed, thumb_output, work)
        return cues
    except generate.GenerationError as error:
        raise PublishError(f"cannot generate the video: {error}")


def move_in(tree_dir, media, feed_file):
    """Media first, unseen until the feed names them; the feed last, in one
    rename. A failure takes back what was moved."""
    moved = []
    try:
        for source, relative in media:
            target = os.path.join(tree_dir, relative)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            os.chmod(source, 0o644)
            os.rename(source, target)
            moved.append(target)
        source, relative = feed_file
        target = os.path.join(tree_dir, relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        os.chmod(source, 0o644)
        os.replace(source, target)
    except BaseException:
        for target in moved:
            os.remove(target)
        raise


def main(argv):
    parser = argparse.ArgumentParser(
        prog="scripts/publish-lesson",
        description="Adds a lesson (its video, thumbnail and feed record) to a content tree.")
    parser.add_argument("--tree", required=True, help="the content tree to publish into")
    parser.add_argument("--video", help="the author's video (any format ffmpeg reads); "
                                        "without it one is generated from the sentences")
    parser.add_argument("--captions", help="WebVTT captions for the author's video "
                                           "(with --video; a generated video has its own)")
    parser.add_argument("--feed", choices=sorted(tree.FEEDS), help="overrides the description's")
    parser.add_argument("--last", action="store_true",
                        help="put the lesson at the end of its feed instead of the top")
    parser.add_argument("description", help="the lesson description (JSON)")
    args = parser.parse_args(argv[1:])

    tree_dir = os.path.abspath(args.tree)
    if not os.path.isdir(tree_dir):
        raise PublishError(f"{args.tree}: no such folder (a content tree, e.g. a copy of "
                           "build/demo-content)")
    description = read_description(args.description, args.feed)
    if args.captions is not None:
        if args.video is None:
            raise PublishError("--captions goes with --video (a generated video gets "
                               "captions of its own)")
        read_captions(args.captions)
    tools = ["ffmpeg", "ffprobe"]
    if args.video is None:
        tools += ["espeak-ng", "rsvg-convert", "convert", "fc-match"]
    for tool in tools:
        if not shutil.which(tool):
            raise PublishError(f"{tool} is missing (scripts/install-deps installs it)")
    if args.video is not None:
        check_source_video(args.video)
    # One writer at a time: the sample generator takes the same lock.
    with open(os.path.join(tree_dir, tree.LOCK), "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        record = publish(tree_dir, description, args.video, args.captions, args.last)
    print(f"publish-lesson: {record['id']} is in the {description['feed']} feed of "
          f"{tree_dir} ({record['playTime']} s): {tree.thumbnail_path(record['id'])}, "
          f"{tree.video_path(record['id'])}"
          + (f", {tree.caption_path(record['id'])}" if "subtitleUrl" in record else ""))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except (PublishError, tree.TreeError, captions.CaptionError) as error:
        print(f"publish-lesson: {error}; the tree is unchanged", file=sys.stderr)
        sys.exit(1)
    except KeyboardInterrupt:
        print("publish-lesson: interrupted; the tree is unchanged", file=sys.stderr)
        sys.exit(130)

"""The content tree: every file a content server sends, laid out so that a
stock web server (demo/nginx) or the sample server answers the app from it.

    feeds/topic.json               the topic feed   (GET /infolist?_method=infoJson...)
    feeds/show.json                the show feed    (GET /infolist?_method=orvel)
    api/app/resourcelist_ng.json   the recommended apps
    thumbs/<id>.jpg                lesson thumbnails
    videos/<id>.mp4                lesson videos
    captions/<id>.vtt              lesson captions (WebVTT), for lessons that have them
    icons/<name>.png, apps/<name>.html   app icons and pages

A lesson's files are named after its id, one folder per kind, so another
kind of file is one more folder with the same names.

Links inside the JSON files start with BASE, which the server replaces
with its own address on the way out; a tree baked for one fixed address
(bake_links) holds plain absolute URLs instead. Names starting with a dot
are private to the tools (locks, stamps, work folders) and never served.
"""

import json
import os
import re
import tempfile

BASE = "{base}"
FEEDS = {"topic": "feeds/topic.json", "show": "feeds/show.json"}
APP_LIST = "api/app/resourcelist_ng.json"
JSON_FILES = (FEEDS["topic"], FEEDS["show"], APP_LIST)
LOCK = ".lock"
# What the app reads of a record, plus the id the tools know a lesson by.
# "subtitleUrl" is optional: a record without it plays without captions.
RECORD_KEYS = ("id", "imageUrl", "title", "videoUrl", "subtitleUrl", "pubTime", "teachers",
               "cateName", "playTime")
# Keys whose values are tree paths, written into records as links.
LINKED_KEYS = ("imageUrl", "videoUrl", "subtitleUrl")
# The cells thumbnails fill, in points; the files hold twice as many pixels.
THUMB_POINTS = {"topic": (147, 91), "show": (300, 153)}
LESSON_ID = re.compile(r"^[a-z0-9][a-z0-9-]{0,63}$")


class TreeError(Exception):
    pass


def link(relative):
    """The JSON form of a link to a file of the tree."""
    return f"{BASE}/{relative}"


def linked_path(value):
    """The tree path a link names, or None for a link elsewhere."""
    prefix = BASE + "/"
    return value[len(prefix):] if isinstance(value, str) and value.startswith(prefix) else None


def thumbnail_path(lesson_id):
    return f"thumbs/{lesson_id}.jpg"


def video_path(lesson_id):
    return f"videos/{lesson_id}.mp4"


def caption_path(lesson_id):
    return f"captions/{lesson_id}.vtt"


def feed_record(lesson):
    """A feed record from a lesson whose imageUrl, videoUrl and (when it
    has captions) subtitleUrl are tree paths."""
    record = {key: lesson[key] for key in RECORD_KEYS if key in lesson}
    for key in LINKED_KEYS:
        if key in record:
            record[key] = link(record[key])
    return record


def feed_answer(records):
    return [{"pageNo": 0, "pageSize": 100, "total": len(records), "data": records}]


def app_list_answer(apps):
    return {"code": 0, "data": {"resourceList": apps}}


def encoded(value):
    """UTF-8 JSON, one key a line, so published changes read well in a diff."""
    text = json.dumps(value, ensure_ascii=False, indent=1)
    return (text + "\n").encode("utf-8")


def check_plain_text(value, what):
    """Text that is not a link must not carry the marker the server replaces."""
    if isinstance(value, str) and BASE in value:
        raise TreeError(f"{what} must not contain {BASE!r}")


def read_json(tree, relative):
    path = os.path.join(tree, relative)
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except FileNotFoundError:
        return None
    except (OSError, ValueError) as error:
        raise TreeError(f"cannot read {relative}: {error}") from error


def feed_records(tree, feed):
    """The records of one feed of the tree; an empty list for a tree without it."""
    answer = read_json(tree, FEEDS[feed])
    if answer is None:
        return []
    if (not isinstance(answer, list) or not answer or not isinstance(answer[0], dict)
            or not isinstance(answer[0].get("data"), list)):
        raise TreeError(f"{FEEDS[feed]} is not a feed answer ([{{\"data\": [...]}}])")
    return answer[0]["data"]


def write_atomically(path, data):
    """Writes in full or not at all: a temporary file beside it, then a rename."""
    folder = os.path.dirname(path)
    os.makedirs(folder, exist_ok=True)
    handle, temporary = tempfile.mkstemp(prefix=".", suffix=".part", dir=folder)
    try:
        with os.fdopen(handle, "wb") as out:
            out.write(data)
            out.flush()
            os.fsync(out.fileno())
        os.chmod(temporary, 0o644)
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.remove(temporary)
        raise


def bake_links(text, base_url):
    """JSON text with every link made absolute on base_url (for a CDN or an
    object store, which send files unchanged)."""
    return text.replace(BASE, base_url.rstrip("/"))

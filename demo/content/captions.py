"""WebVTT caption files of the lessons: written for generated videos, and
checked when an author brings one.

Generated files hold one cue per spoken line, numbered from 1, each with
the English line and then its Chinese meaning:

    WEBVTT

    1
    00:00:04.210 --> 00:00:06.480
    Hi there! What can I get for you?
    你好！想喝点什么？

An author's file may use anything of the WebVTT format a player reads
(cue settings, notes, styles, regions, timestamps without hours); check()
refuses what would make captions wrong or unreadable: no "WEBVTT" header,
text that is not UTF-8, a timestamp that does not parse, a cue that ends
before it starts or after the video, cues out of order, cues without text.
"""

import re

HEADER = "WEBVTT"
ARROW = "-->"
TIMESTAMP = re.compile(r"^(?:(\d{2,}):)?([0-5]\d):([0-5]\d)\.(\d{3})$")
# The end of a video and the end of its last cue are measured differently
# (frames against samples); a cue may end this much after the video.
END_TOLERANCE = 0.25


class CaptionError(Exception):
    pass


def timestamp(seconds):
    """HH:MM:SS.mmm, hours always written."""
    millis = int(round(seconds * 1000))
    hours, millis = divmod(millis, 3600_000)
    minutes, millis = divmod(millis, 60_000)
    whole, millis = divmod(millis, 1000)
    return f"{hours:02d}:{minutes:02d}:{whole:02d}.{millis:03d}"


def cue_text(text):
    """One line of cue text: the characters WebVTT reads as markup escaped,
    line breaks and the arrow that would end a cue kept out."""
    text = " ".join(text.split())
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def render(cues):
    """The file for cues [(start, end, english, chinese)] in time order."""
    out = [HEADER, ""]
    previous_end = 0.0
    for number, (start, end, english, chinese) in enumerate(cues, 1):
        if not start >= previous_end or not end > start:
            raise CaptionError(f"cue {number} ({start:.3f} to {end:.3f}) overlaps or is empty")
        first, second = cue_text(english), cue_text(chinese)
        if not first or not second:
            raise CaptionError(f"cue {number} needs both an English and a Chinese line")
        out += [str(number), f"{timestamp(start)} {ARROW} {timestamp(end)}", first, second, ""]
        previous_end = end
    return ("\n".join(out)).encode("utf-8")


def parse_timestamp(text):
    match = TIMESTAMP.match(text)
    if not match:
        return None
    hours, minutes, seconds, millis = match.groups()
    return int(hours or 0) * 3600 + int(minutes) * 60 + int(seconds) + int(millis) / 1000


def check(data, duration=None):
    """Reads an author's caption file; returns its cues [(start, end, text
    lines)] or raises CaptionError saying what is wrong and where."""
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        raise CaptionError(f"not UTF-8 text (byte {error.start})") from error
    if text.startswith("\ufeff"):
        text = text[1:]
    if "\0" in text:
        raise CaptionError("holds a NUL character")
    lines = text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    first = lines[0]
    if not (first == HEADER or first.startswith(HEADER + " ") or first.startswith(HEADER + "\t")):
        raise CaptionError("the first line must be \"WEBVTT\"")

    # Blocks are separated by blank lines; the header block may go on
    # after its first line.
    blocks, block, number = [], [], 0
    for number, line in enumerate(lines[1:], 2):
        if line.strip() == "":
            if block:
                blocks.append(block)
                block = []
        else:
            block.append((number, line))
    if block:
        blocks.append(block)
    if lines[1:2] and lines[1].strip() != "" and blocks:
        blocks.pop(0)  # the rest of the header block

    cues = []
    for block in blocks:
        at, head = block[0]
        if head.startswith("NOTE") and (len(head) == 4 or head[4] in " \t"):
            continue
        if not cues and head in ("STYLE", "REGION"):
            continue
        timing = next((k for k, (_, line) in enumerate(block) if ARROW in line), None)
        if timing is None or timing > 1:
            raise CaptionError(f"line {at}: a block that is neither a cue nor a note")
        at, line = block[timing]
        start_text, _, rest = line.partition(ARROW)
        fields = rest.split()
        start = parse_timestamp(start_text.strip())
        end = parse_timestamp(fields[0]) if fields else None
        if start is None or end is None:
            raise CaptionError(f"line {at}: {line.strip()!r} is not \"start --> end\" "
                               "with times like 00:01.500 or 00:00:01.500")
        if end <= start:
            raise CaptionError(f"line {at}: the cue ends at or before its start")
        if cues and start < cues[-1][0]:
            raise CaptionError(f"line {at}: the cue starts before the one above it")
        payload = [text for _, text in block[timing + 1:]]
        if not payload:
            raise CaptionError(f"line {at}: the cue has no text")
        if any(ARROW in text for text in payload):
            raise CaptionError(f"line {at}: cue text must not contain \"{ARROW}\"")
        if duration is not None and end > duration + END_TOLERANCE:
            raise CaptionError(f"line {at}: the cue ends at {end:.3f} s, after the video "
                               f"({duration:.3f} s)")
        cues.append((start, end, payload))
    if not cues:
        raise CaptionError("holds no cues")
    return cues

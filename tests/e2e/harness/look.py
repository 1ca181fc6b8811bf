"""What a person sees of the dialog at each wizard step, judged from
screenshot pixels: which step instructions show text, which picture is
drawn where (compared with the program's own bitmap, its plate at client
pixel (95, 230)), and which way the red arrow points.

The judgement follows the dialog's real geometry, as the window probe
reports it: the instructions are laid out in dialog units, so their pixel
rectangles follow the dialog font, while the pictures sit at fixed pixels.
Where a shown picture covers an instruction's rectangle, the instruction is
judged only on the rest of it, and so is a shown instruction; the picture
itself is judged on what no shown instruction covers."""

import os
import re

from PIL import ImageChops

from . import images

# Step instruction controls in step order; step n shows the first n.
STEP_TEXTS = (1003, 1002, 1001, 1000, 1008, 1009)

# Picture n: control, bitmap, where the dialog places it, and the margin the
# bitmap has beyond the 175 x 204 plate (left, top).
PICTURES = (
    (1011, "step1.bmp", (95, 230), (0, 0)),
    (1012, "step2.bmp", (95, 216), (0, 14)),
    (1013, "step3.bmp", (95, 230), (0, 0)),
    (1014, "step4.bmp", (95, 230), (0, 0)),
    (1015, "step5.bmp", (74, 230), (21, 0)),
)
PLATE = (95, 230, 175, 204)
ARROWS = {1: None, 2: "up", 3: "right", 4: "down", 5: "left", 6: None}

# A drawn picture must match its bitmap but for this share of its pixels,
# which leaves room for nothing but stray pixels (never a different picture).
PICTURE_TOLERANCE = 0.002
INK_PIXELS = 20         # a visible instruction draws at least this much text
INK_CONTRAST = 200      # summed channel difference from the background
ARROW_PIXELS = 40       # red pixels of a drawn arrow
ARROW_OFFSET = 2.0      # pixels the red mass lies towards the arrow's head


class Geometry:
    """Where the dialog's client area and controls are, from the probe."""

    def __init__(self, window, pictures):
        self.origin = window.client[:2]
        self.size = window.client[2:]
        self.text_rects = {}
        for control_id in STEP_TEXTS:
            c = window.child(control_id)
            self.text_rects[control_id] = c.rect if c else None
        # A picture control takes its bitmap's size where the program put it.
        self.picture_rects = []
        for (control_id, _, place, _), picture in zip(PICTURES, pictures):
            c = window.child(control_id)
            self.picture_rects.append(c.rect if c else place + picture.size)

    def client(self, shot):
        x, y = self.origin
        return shot.crop((x, y, x + self.size[0], y + self.size[1]))

    def shown(self, step):
        """(the rectangles of the instructions shown at `step`, the shown
        picture's rectangle or None)."""
        texts = [r for r in (self.text_rects[c] for c in STEP_TEXTS[:step]) if r]
        return texts, self.picture_rects[step - 1] if step <= len(PICTURES) else None

    def overlaps(self):
        """Lines for the log: which instruction rectangles a picture covers."""
        lines = []
        for n, control_id in enumerate(STEP_TEXTS, start=1):
            t = self.text_rects[control_id]
            for k, p in enumerate(self.picture_rects, start=1):
                if t and _intersect(t, p):
                    x, y, w, h = _intersect(t, p)
                    lines.append(f"instruction {n} {t} and picture {k} {p} share {w} x {h} "
                                 f"pixels from client ({x}, {y}), as the template places them; "
                                 "the checks count them as the picture's while it shows")
        return lines


def _intersect(a, b):
    x0, y0 = max(a[0], b[0]), max(a[1], b[1])
    x1, y1 = min(a[0] + a[2], b[0] + b[2]), min(a[1] + a[3], b[1] + b[3])
    return (x0, y0, x1 - x0, y1 - y0) if x1 > x0 and y1 > y0 else None


def load_pictures(res_dir):
    return [images.load(os.path.join(res_dir, p[1])) for p in PICTURES]


class Template:
    """What the dialog template says of the layout: its font and the dialog
    unit rectangles of its controls, read from the resource script and the
    control ids from ui/resource.h."""

    def __init__(self, ui_dir):
        with open(os.path.join(ui_dir, "resource.h"), encoding="utf-8") as f:
            ids = dict(re.findall(r"^#define\s+(\w+)\s+(\d+)", f.read(), re.M))
        with open(os.path.join(ui_dir, "res", "Kx9JoystickCalibration.rc"),
                  encoding="utf-8") as f:
            script = f.read()
        m = re.search(r'^FONT\s+(\d+)\s*,\s*"([^"]+)"', script, re.M)
        self.font = (int(m.group(1)), m.group(2)) if m else (8, "MS Shell Dlg")
        self.rects = {}
        for name, x, y, w, h in re.findall(
                r"^\s*LTEXT\s+\".*\"\s*,\s*(\w+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)"
                r"\s*,\s*(\d+)", script, re.M):
            if name in ids:
                self.rects[int(ids[name])] = (int(x), int(y), int(w), int(h))

    def base_units(self, geometry):
        """The dialog base units (x, y) that turned the instructions' dialog
        units into the pixel rectangles the probe reports; None without any."""
        du_x = du_y = px_x = px_y = 0
        for control_id, rect in geometry.text_rects.items():
            units = self.rects.get(control_id)
            if rect and units:
                du_x += units[0] + units[2]
                px_x += rect[0] + rect[2]
                du_y += units[1] + units[3]
                px_y += rect[1] + rect[3]
        if not du_x or not du_y:
            return None
        return 4 * px_x / du_x, 8 * px_y / du_y


def background(client):
    """The dialog face colour: the most common of three empty corners."""
    w, h = client.size
    samples = [client.getpixel((2, 2)), client.getpixel((w - 3, 2)),
               client.getpixel((w - 3, h - 3))]
    return max(samples, key=samples.count)


def red_arrow(client, geometry):
    """(direction, red pixel count, centroid offset from the plate centre)
    of the red drawn over the picture area; direction None without red."""
    rects = geometry.picture_rects
    box = (min(r[0] for r in rects), min(r[1] for r in rects),
           max(r[0] + r[2] for r in rects), max(r[1] + r[3] for r in rects))
    red = images.red_pixels(client, box)
    if len(red) < ARROW_PIXELS:
        return None, len(red), None
    dx = sum(x for x, _ in red) / len(red) - (PLATE[0] + PLATE[2] / 2)
    dy = sum(y for _, y in red) / len(red) - (PLATE[1] + PLATE[3] / 2)
    # The head holds more red than the shaft, so the red leans its way.
    if abs(dx) >= abs(dy):
        direction = "right" if dx >= ARROW_OFFSET else "left" if dx <= -ARROW_OFFSET else "?"
    else:
        direction = "down" if dy >= ARROW_OFFSET else "up" if dy <= -ARROW_OFFSET else "?"
    return direction, len(red), (round(dx, 1), round(dy, 1))


def same_client(a, b, geometry):
    """True when two screenshots show the same client area."""
    return ImageChops.difference(geometry.client(a), geometry.client(b)).getbbox() is None


def client_changes(a, b, geometry):
    """How many client pixels differ between two screenshots."""
    client = geometry.client(b)
    return images.count_differences(client, 0, 0, geometry.client(a),
                                     images.mask(client.size, [(0, 0) + client.size]))


def step_problems(shot, geometry, pictures, step):
    """Everything about the screenshot that differs from step `step`
    (1 to 6) as a person should see it; empty when it looks right."""
    problems = []
    client = geometry.client(shot)
    size = client.size
    face = background(client)
    shown_texts, shown_picture = geometry.shown(step)
    picture_cover = [shown_picture] if shown_picture else []

    for n, control_id in enumerate(STEP_TEXTS, start=1):
        rect = geometry.text_rects[control_id]
        if rect is None:
            problems.append(f"instruction {n} (control {control_id}) does not exist")
            continue
        if n <= step:
            ink = images.count_far(client, face, INK_CONTRAST,
                                   images.mask(size, [rect], picture_cover))
            if ink < INK_PIXELS:
                problems.append(f"instruction {n}: no text shown (ink pixels {ink}, expected "
                                f"at least {INK_PIXELS})")
        else:
            other = images.count_not(client, face,
                                     images.mask(size, [rect], picture_cover + shown_texts))
            if other:
                problems.append(f"instruction {n}: shows something ({other} pixels differ "
                                "from the dialog face where nothing shown covers it), "
                                "expected nothing")

    if shown_picture is not None:
        _, name, (px, py), (mx, my) = PICTURES[step - 1]
        picture = pictures[step - 1]
        where = images.mask(picture.size, [(0, 0) + picture.size],
                            [(x - px, y - py, w, h) for x, y, w, h in shown_texts])
        differ = images.count_differences(client, px, py, picture, where)
        judged = where.histogram()[255]
        if differ > PICTURE_TOLERANCE * judged:
            problems.append(f"picture {step} at client ({px}, {py}) (plate at "
                            f"({px + mx}, {py + my})): {differ} of {judged} pixels differ "
                            f"from {name}")
    # Nothing else is drawn where the other pictures would be.
    stray = images.count_not(client, face, images.mask(size, geometry.picture_rects,
                                                       picture_cover + shown_texts))
    if stray:
        problems.append(f"{stray} pixels drawn outside "
                        + (f"picture {step}" if shown_picture else "any picture")
                        + " where the other pictures would be, expected the dialog face")

    direction, count, offset = red_arrow(client, geometry)
    expected = ARROWS[step]
    if direction != expected:
        problems.append(f"red arrow: actual {direction or 'none'} ({count} red pixels, "
                        f"centre offset {offset}), expected {expected or 'none'}")
    return problems

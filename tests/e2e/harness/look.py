"""What a person sees of the dialog at each wizard step, judged from
screenshot pixels: which step instructions show text, which picture is
drawn where (compared with the program's own bitmap, its plate at client
pixel (95, 230)), and which way the red arrow points."""

import os

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

    def __init__(self, window):
        self.origin = window.client[:2]
        self.size = window.client[2:]
        self.text_rects = {}
        for control_id in STEP_TEXTS:
            c = window.child(control_id)
            self.text_rects[control_id] = c.rect if c else None


def load_pictures(res_dir):
    return [images.load_bmp(os.path.join(res_dir, p[1])) for p in PICTURES]


def background(shot, geometry):
    """The dialog face colour: the most common of three empty corners."""
    ox, oy = geometry.origin
    w, h = geometry.size
    samples = [shot.pixel(ox + 2, oy + 2), shot.pixel(ox + w - 3, oy + 2),
               shot.pixel(ox + w - 3, oy + h - 3)]
    return max(samples, key=samples.count)


def _row(shot, x0, x1, y):
    return shot.data[(y * shot.width + x0) * 3:(y * shot.width + x1) * 3]


def _ink(shot, origin, rect, face):
    """(strong text pixels, pixels of any other colour than the face)."""
    x0, y0 = origin[0] + rect[0], origin[1] + rect[1]
    plain = bytes(face) * rect[2]
    ink = other = 0
    for y in range(y0, y0 + rect[3]):
        row = _row(shot, x0, x0 + rect[2], y)
        if row == plain:
            continue
        for i in range(0, len(row), 3):
            p = row[i:i + 3]
            if p == plain[:3]:
                continue
            other += 1
            if sum(abs(a - b) for a, b in zip(p, face)) >= INK_CONTRAST:
                ink += 1
    return ink, other


def _not_face(shot, x0, x1, y, face):
    if x1 <= x0:
        return 0
    row = _row(shot, x0, x1, y)
    plain = bytes(face) * (x1 - x0)
    if row == plain:
        return 0
    return sum(1 for i in range(0, len(row), 3) if row[i:i + 3] != plain[:3])


def red_arrow(shot, geometry):
    """(direction, red pixel count, centroid offset from the plate centre)
    of the red drawn over the picture area; direction None without red."""
    ox, oy = geometry.origin
    left = min(p[2][0] for p in PICTURES)
    top = min(p[2][1] for p in PICTURES)
    right = PLATE[0] + PLATE[2] + 6
    bottom = PLATE[1] + PLATE[3]
    xs, ys = [], []
    for y in range(oy + top, oy + bottom):
        for x in range(ox + left, ox + right):
            r, g, b = shot.pixel(x, y)
            if r >= 200 and g <= 60 and b <= 60:
                xs.append(x - ox)
                ys.append(y - oy)
    if len(xs) < ARROW_PIXELS:
        return None, len(xs), None
    dx = sum(xs) / len(xs) - (PLATE[0] + PLATE[2] / 2)
    dy = sum(ys) / len(ys) - (PLATE[1] + PLATE[3] / 2)
    # The head holds more red than the shaft, so the red leans its way.
    if abs(dx) >= abs(dy):
        direction = "right" if dx >= ARROW_OFFSET else "left" if dx <= -ARROW_OFFSET else "?"
    else:
        direction = "down" if dy >= ARROW_OFFSET else "up" if dy <= -ARROW_OFFSET else "?"
    return direction, len(xs), (round(dx, 1), round(dy, 1))


def step_problems(shot, geometry, pictures, step):
    """Everything about the screenshot that differs from step `step`
    (1 to 6) as a person should see it; empty when it looks right."""
    problems = []
    ox, oy = geometry.origin
    face = background(shot, geometry)

    for n, control_id in enumerate(STEP_TEXTS, start=1):
        rect = geometry.text_rects[control_id]
        if rect is None:
            problems.append(f"instruction {n} (control {control_id}) does not exist")
            continue
        ink, other = _ink(shot, geometry.origin, rect, face)
        if n <= step and ink < INK_PIXELS:
            problems.append(f"instruction {n}: no text shown (ink pixels {ink}, expected at "
                            f"least {INK_PIXELS})")
        if n > step and other:
            problems.append(f"instruction {n}: shows something ({other} pixels differ from "
                            f"the dialog face), expected nothing")

    shown = step if step <= 5 else None
    visible_rect = None
    if shown is not None:
        _, name, (px, py), (mx, my) = PICTURES[shown - 1]
        picture = pictures[shown - 1]
        visible_rect = (px, py, picture.width, picture.height)
        differ = images.count_differences(shot, ox + px, oy + py, picture)
        if differ > PICTURE_TOLERANCE * picture.width * picture.height:
            problems.append(f"picture {shown} at client ({px}, {py}) (plate at "
                            f"({px + mx}, {py + my})): {differ} of "
                            f"{picture.width * picture.height} pixels differ from {name}")
    # Nothing else is drawn where the other pictures would be.
    stray = 0
    rects = [(px, py, p.width, p.height) for (_, _, (px, py), _), p in zip(PICTURES, pictures)]
    for y in range(min(r[1] for r in rects), max(r[1] + r[3] for r in rects)):
        spans = [(r[0], r[0] + r[2]) for r in rects if r[1] <= y < r[1] + r[3]]
        if not spans:
            continue
        # The pictures overlap: one span from the left-most to the right-most.
        x0, x1 = min(s[0] for s in spans), max(s[1] for s in spans)
        if visible_rect and visible_rect[1] <= y < visible_rect[1] + visible_rect[3]:
            stray += _not_face(shot, ox + x0, ox + visible_rect[0], oy + y, face)
            stray += _not_face(shot, ox + visible_rect[0] + visible_rect[2], ox + x1, oy + y,
                               face)
        else:
            stray += _not_face(shot, ox + x0, ox + x1, oy + y, face)
    if stray:
        problems.append(f"{stray} pixels drawn outside "
                        + (f"picture {shown}" if shown else "any picture")
                        + " where the other pictures would be, expected the dialog face")

    direction, count, offset = red_arrow(shot, geometry)
    expected = ARROWS[step]
    if direction != expected:
        problems.append(f"red arrow: actual {direction or 'none'} ({count} red pixels, "
                        f"centre offset {offset}), expected {expected or 'none'}")
    return problems

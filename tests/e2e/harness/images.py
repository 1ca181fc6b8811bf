"""Pixels for the end-to-end harness, through Pillow: screenshots of the X
display, the program's own step pictures, and counts of the pixels that
differ from a colour or a picture inside a mask (the part of a control's
rectangle that the judgement looks at)."""

from PIL import Image, ImageChops, ImageDraw, ImageGrab


def screenshot(display_name):
    return ImageGrab.grab(xdisplay=display_name).convert("RGB")


def load(path):
    with Image.open(path) as picture:
        return picture.convert("RGB")


def mask(size, include, exclude=()):
    """A mask of `size` that is on inside the `include` rectangles (x, y,
    width, height) and off inside the `exclude` ones."""
    m = Image.new("L", size, 0)
    draw = ImageDraw.Draw(m)
    for rects, value in ((include, 255), (exclude, 0)):
        for x, y, w, h in rects:
            if w > 0 and h > 0:
                draw.rectangle((x, y, x + w - 1, y + h - 1), fill=value)
    return m


def _on(channel_image, test):
    return channel_image.point(lambda v: 255 if test(v) else 0)


def _count(on, where):
    return ImageChops.multiply(on, where).histogram()[255]


def count_not(image, colour, where):
    """Pixels inside the mask `where` that are not exactly `colour`."""
    r, g, b = ImageChops.difference(image, Image.new("RGB", image.size, colour)).split()
    return _count(_on(ImageChops.lighter(ImageChops.lighter(r, g), b), bool), where)


def count_far(image, colour, contrast, where):
    """Pixels inside `where` whose channels differ from `colour` by at least
    `contrast` in sum (strong ink, not the grey fringe of smoothed text)."""
    r, g, b = ImageChops.difference(image, Image.new("RGB", image.size, colour)).split()
    # add() stops at 255, which is above any contrast asked for.
    return _count(_on(ImageChops.add(ImageChops.add(r, g), b), lambda v: v >= contrast), where)


def count_differences(image, x, y, picture, where):
    """Pixels of `picture`, laid at (x, y) of `image`, that differ from it,
    counted inside `where` (a mask of the picture's size); where the picture
    would fall outside the image, every pixel counts as different."""
    region = image.crop((x, y, x + picture.width, y + picture.height))
    inside = mask(picture.size, [(-x, -y, image.width, image.height)])
    r, g, b = ImageChops.difference(region, picture).split()
    differ = ImageChops.lighter(ImageChops.lighter(r, g), b)
    # Outside the image counts as different: crop() fills it with black.
    differ = ImageChops.lighter(_on(differ, bool), ImageChops.invert(inside))
    return _count(differ, where)


def red_pixels(image, box):
    """(x, y) of the pure red pixels inside `box` (left, top, right, bottom)."""
    r, g, b = image.crop(box).split()
    red = ImageChops.multiply(ImageChops.multiply(_on(r, lambda v: v >= 200),
                                                  _on(g, lambda v: v <= 60)),
                              _on(b, lambda v: v <= 60))
    width = box[2] - box[0]
    return [(box[0] + i % width, box[1] + i // width)
            for i, v in enumerate(red.tobytes()) if v]

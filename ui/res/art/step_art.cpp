#include "step_art.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace art {

namespace {

// Drawing coordinates are the plate's: (0, 0) its top-left corner.
constexpr Vec2 kPivot{kPlateWidth / 2.0f, kPlateHeight / 2.0f};

const Colour kWhite = Grey(255);
const Colour kInk = Grey(45);
const Colour kRed{255, 0, 0};

// The grip as seen straight from above, around the pivot; +y points at the
// user. The head overhangs forwards and the thumb rest sticks out on the
// left, which is why the grip reaches further up and left than right and down.
const std::vector<Vec2> kGripOutline = {
    {0, -35},    {11, -33}, {18, -27}, {20.5f, -17},  {20, -5},   {18.5f, 7},
    {16, 19},    {9, 27},   {0, 29},   {-9, 27},      {-15, 21},  {-20, 14},
    {-24.5f, 7}, {-26, 0},  {-24, -7}, {-20.5f, -13}, {-20, -23}, {-14, -31},
};

// The ridge where the head's top face meets the palm rest sloping to the user.
const std::vector<Vec2> kRidge = {{-21, 11}, {-11, 6}, {0, 4.5f}, {11, 5.5f}, {19.5f, 9}};
// The edge of the thumb rest.
const std::vector<Vec2> kThumbEdge = {{-19.5f, -10}, {-21.5f, -2}, {-20, 7}};

constexpr float kShaftRadius = 12;
// Steps of the sweep from the shaft at the boot up to the head.
constexpr int kSweepSteps = 28;
// A tilted head is foreshortened by the cosine of its tilt.
constexpr float kTiltSquash = 0.84f;

constexpr StepLayout kLayouts[kStepCount] = {
    {175, 204, 0, 0, {0, 0}, 0},  {175, 218, 0, 14, {0, -1}, 80}, {181, 204, 0, 0, {1, 0}, 68},
    {175, 204, 0, 0, {0, 1}, 56}, {196, 204, 21, 0, {-1, 0}, 80},
};

Vec2 Perp(Vec2 u) {
    return {-u.y, u.x};
}

// Grip-local coordinates to the plate at sweep position t (0 at the boot,
// 1 at the head).
Affine GripPose(Vec2 dir, float reach, float t) {
    float squash = 1 + (kTiltSquash - 1) * t;
    Affine m = Translate(kPivot + dir * (reach * t));
    if (dir.x != 0 || dir.y != 0) m = Then(Squash(dir, squash, {0, 0}), m);
    return m;
}

// The solid the grip sweeps from the shaft at the boot to its head: at each
// step the shaft's round section morphs towards the grip's outline.
Shape GripBody(const Shape& outline, Vec2 dir, float reach) {
    std::vector<Shape> parts;
    Shape shaft = Circle({0, 0}, kShaftRadius);
    for (int i = 0; i <= kSweepSteps; ++i) {
        float t = static_cast<float>(i) / kSweepSteps;
        float w = t * t;
        Shape blend{[=](Vec2 p) { return (1 - w) * shaft.distance(p) + w * outline.distance(p); },
                    Join(shaft.bounds, outline.bounds)};
        parts.push_back(Transformed(blend, GripPose(dir, reach, t)));
    }
    return UnionAll(parts);
}

void DrawPlate(Canvas& c) {
    Shape plate = RoundRect({0, 0, kPlateWidth, kPlateHeight}, 9);
    // The outline's darkest pixels are the plate's outermost ones.
    c.Fill(Outline(plate, 1.2f, 0.6f), Grey(115));
    c.Fill(Outline(plate, 0.8f, 4.5f), Grey(222));
    const Vec2 screws[] = {{15.5f, 6.5f},
                           {kPlateWidth - 15.5f, 6.5f},
                           {15.5f, kPlateHeight - 6.5f},
                           {kPlateWidth - 15.5f, kPlateHeight - 6.5f}};
    for (Vec2 s : screws) {
        c.Fill(Circle(s, 3.5f), Radial(s + Vec2{-1, -1}, 4, {{0, Grey(250)}, {1, Grey(205)}}));
        c.Fill(Outline(Circle(s, 3.5f), 0.9f, 0.45f), Grey(95));
        c.Fill(Line(s + Vec2{-1.6f, 0}, s + Vec2{1.6f, 0}, 0.8f), Grey(110));
        c.Fill(Line(s + Vec2{0, -1.6f}, s + Vec2{0, 1.6f}, 0.8f), Grey(110));
    }
}

void DrawBoot(Canvas& c) {
    Shape outer = Circle(kPivot, 44);
    Shape inner = Circle(kPivot, 33);
    c.Fill(outer, Radial(kPivot, 44, {{0.7f, Grey(226)}, {1, Grey(240)}}));
    c.Fill(inner, Radial(kPivot + Vec2{-8, -8}, 45, {{0, Grey(222)}, {1, Grey(206)}}));
    c.Fill(Outline(outer, 1.1f), Grey(85));
    c.Fill(Outline(inner, 1.0f), Grey(100));
    // The collar the shaft leaves the boot through; hidden under an upright grip.
    Shape collar = Circle(kPivot, kShaftRadius + 2.5f);
    c.Fill(collar, Radial(kPivot, kShaftRadius + 2.5f, {{0.75f, Grey(150)}, {1, Grey(196)}}));
    c.Fill(Outline(collar, 1.0f), Grey(90));
}

// A stroke-drawn capital alphabet, just the letters of the word mark, on a
// grid 10 units high.
struct Glyph {
    char letter;
    float advance;
    std::vector<std::vector<Vec2>> strokes;
};

const std::vector<Glyph>& Glyphs() {
    static const std::vector<Glyph> glyphs = {
        {'V', 7, {{{0, 0}, {3.25f, 10}, {6.5f, 0}}}},
        {'O', 7.5f, {}},
        {'R',
         6.5f,
         {{{0, 10},
           {0, 0},
           {3.6f, 0},
           {5.3f, 0.8f},
           {5.9f, 2.7f},
           {5.3f, 4.6f},
           {3.6f, 5.4f},
           {0, 5.4f}},
          {{3, 5.4f}, {6, 10}}}},
        {'M', 8, {{{0, 10}, {0, 0}, {3.75f, 6.5f}, {7.5f, 0}, {7.5f, 10}}}},
        {'L', 5.8f, {{{0, 0}, {0, 10}, {5.5f, 10}}}},
        {'A', 7, {{{0, 10}, {3.25f, 0}, {6.5f, 10}}, {{1.2f, 6.6f}, {5.3f, 6.6f}}}},
        {'K', 6.5f, {{{0, 0}, {0, 10}}, {{6, 0}, {0, 6.2f}}, {{2.2f, 4.2f}, {6.2f, 10}}}},
    };
    return glyphs;
}

float WordWidth(const char* word, float scale, float spacing) {
    float w = 0;
    for (const char* ch = word; *ch; ++ch) {
        for (const Glyph& g : Glyphs()) {
            if (g.letter == *ch) w += g.advance * scale + spacing;
        }
    }
    return w - spacing;
}

void DrawWord(Canvas& c, const char* word, Vec2 at, float scale, float spacing, float weight,
              Colour ink) {
    Vec2 pen = at;
    for (const char* ch = word; *ch; ++ch) {
        for (const Glyph& g : Glyphs()) {
            if (g.letter != *ch) continue;
            if (g.letter == 'O') {
                float half = weight / 2;
                Shape ring =
                    RoundRect({pen.x + half - 0.5f, pen.y, pen.x + g.advance * scale - half - 0.5f,
                               pen.y + 10 * scale},
                              3.4f * scale);
                c.Fill(Outline(ring, weight), ink);
            }
            for (const auto& stroke : g.strokes) {
                std::vector<Vec2> pts;
                for (Vec2 p : stroke) pts.push_back(pen + p * scale);
                c.Fill(Polyline(pts, weight), ink);
            }
            pen.x += g.advance * scale + spacing;
        }
    }
}

// An invented maker's block: an abstract bird-in-a-disc mark and the word mark.
void DrawMakerBlock(Canvas& c) {
    const Box block{35, 159, 140, 191};
    c.Fill(RoundRect(block, 4), Grey(246));
    c.Fill(Outline(RoundRect(block, 4), 0.9f, 0.45f), Grey(160));

    const Vec2 mark{block.x0 + 16.5f, (block.y0 + block.y1) / 2};
    c.Fill(Circle(mark, 11), Radial(mark + Vec2{-3, -4}, 15, {{0, Grey(105)}, {1, Grey(55)}}));
    // A bird in flight seen head-on, reduced to one stroke: two arched wings.
    c.Fill(Polyline(SmoothPointsOpen(
                        {mark + Vec2{-7.5f, 0.5f}, mark + Vec2{-4, -3.2f}, mark + Vec2{0, 1.8f},
                         mark + Vec2{4, -3.2f}, mark + Vec2{7.5f, 0.5f}},
                        6),
                    2.0f),
           Grey(250));
    c.Fill(Circle(mark + Vec2{0, 5.2f}, 1.5f), Grey(250));

    const char* word = "VORMLARK";
    const float scale = 1.0f, spacing = 1.5f, weight = 1.9f;
    float text_left = mark.x + 14;
    float text_width = WordWidth(word, scale, spacing);
    float room = block.x1 - 4 - text_left;
    Vec2 at{text_left + (room - text_width) / 2, mark.y - 5 * scale - 3};
    DrawWord(c, word, at, scale, spacing, weight, Grey(50));
    // A rule under the word mark, the block's only ornament.
    c.Fill(Line({at.x, mark.y + 9}, {at.x + text_width, mark.y + 9}, 1.0f), Grey(150));
}

void DrawGrip(Canvas& c, Vec2 dir, float reach) {
    const Shape outline = SmoothPath(kGripOutline, 8);
    const Affine head = GripPose(dir, reach, 1);
    const Shape top = Transformed(outline, head);
    const bool tilted = dir.x != 0 || dir.y != 0;

    // A soft shadow under the head lifts it off the plate.
    c.FillSoft(Transformed(top, Translate({2.5f, 3.5f})), Grey(120), 6, 0.22f);

    if (tilted) {
        // The back of the grip, which a push turns up towards the viewer.
        Shape body = GripBody(outline, dir, reach);
        Vec2 across = Perp(dir);
        Vec2 mid = kPivot + dir * (reach * 0.5f);
        c.Fill(body,
               Linear(mid - across * 22, mid + across * 22,
                      {{0, Grey(168)}, {0.4f, Grey(222)}, {0.6f, Grey(214)}, {1, Grey(172)}}));
        c.Fill(Outline(body, 1.2f), kInk);
    }

    // The top face: light, the palm rest falling away a shade darker.
    c.Fill(top,
           Transformed(
               Linear({0, -35}, {0, 29},
                      {{0, Grey(252)}, {0.55f, Grey(246)}, {0.62f, Grey(232)}, {1, Grey(218)}}),
               head));
    c.Fill(Outline(top, 1.2f), kInk);
    c.Fill(Intersect(Transformed(Polyline(SmoothPoints(kRidge, 1), 0.9f), head), Grow(top, -1)),
           Grey(135));
    c.Fill(Transformed(Polyline(kThumbEdge, 0.8f), head), Grey(160));

    // Large round button, shaded like a dome lit from the top left.
    const Vec2 big{5.5f, -17};
    c.Fill(Transformed(Circle(big, 9.3f), head), Grey(205));
    c.Fill(Transformed(Outline(Circle(big, 9.3f), 0.8f), head), Grey(120));
    c.Fill(Transformed(Circle(big, 7.4f), head),
           Transformed(Radial(big + Vec2{-2.6f, -2.8f}, 10,
                              {{0, Grey(250)}, {0.45f, Grey(212)}, {1, Grey(140)}}),
                       head));
    c.Fill(Transformed(Outline(Circle(big, 7.4f), 1.0f), head), Grey(60));

    // Four-way hat.
    const Vec2 hat{-11, -20};
    c.Fill(Transformed(Circle(hat, 5.8f), head),
           Transformed(Radial(hat, 5.8f, {{0, Grey(235)}, {1, Grey(200)}}), head));
    c.Fill(Transformed(Outline(Circle(hat, 5.8f), 1.0f), head), Grey(60));
    const Vec2 ways[] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    for (Vec2 w : ways) {
        Vec2 side = Perp(w);
        c.Fill(Transformed(Polygon({hat + w * 4.9f, hat + w * 2.3f + side * 1.9f,
                                    hat + w * 2.3f - side * 1.9f}),
                           head),
               Grey(60));
    }
    c.Fill(Transformed(Circle(hat, 1.0f), head), Grey(90));

    // Small button with its dark square.
    const Vec2 small{-7.5f, -5.5f};
    c.Fill(Transformed(Circle(small, 4.4f), head), Grey(242));
    c.Fill(Transformed(Outline(Circle(small, 4.4f), 1.0f), head), Grey(60));
    c.Fill(Transformed(RoundRect({small.x - 2, small.y - 2, small.x + 2, small.y + 2}, 0.4f), head),
           Grey(50));
}

// Solid red block arrow with a dark rim; the shaft is four red pixels between
// two-pixel rims. Its axis lands on a pixel edge so both rims are crisp. It
// starts just behind the pivot, so it reads as pushing away from the centre.
void DrawArrow(Canvas& c, Vec2 dir) {
    const float length = 34, head_length = 12, head_width = 15, shaft_width = 8, rim = 2;
    const float lead = 8;  // how far the arrow's middle lies ahead of the pivot
    Vec2 centre = Vec2{std::round(kPivot.x), std::round(kPivot.y)} + dir * lead;
    Vec2 across = Perp(dir);
    Vec2 tail = centre - dir * (length / 2);
    Vec2 tip = centre + dir * (length / 2);
    Vec2 neck = tip - dir * head_length;
    Shape arrow = Polygon({
        tail + across * (shaft_width / 2),
        neck + across * (shaft_width / 2),
        neck + across * (head_width / 2),
        tip,
        neck - across * (head_width / 2),
        neck - across * (shaft_width / 2),
        tail - across * (shaft_width / 2),
    });
    c.Fill(arrow, Grey(40));
    c.Fill(Grow(arrow, -rim), kRed);
}

}  // namespace

StepLayout StepLayoutOf(int step) {
    if (step < 1 || step > kStepCount) throw std::out_of_range("no such step picture");
    return kLayouts[step - 1];
}

Canvas DrawStep(int step) {
    const StepLayout layout = StepLayoutOf(step);
    Canvas c(layout.width, layout.height, kWhite);
    c.SetOrigin({static_cast<float>(layout.plate_left), static_cast<float>(layout.plate_top)});
    DrawPlate(c);
    DrawMakerBlock(c);
    DrawBoot(c);
    DrawGrip(c, layout.direction, layout.reach);
    if (layout.direction.x != 0 || layout.direction.y != 0) DrawArrow(c, layout.direction);
    return c;
}

}  // namespace art

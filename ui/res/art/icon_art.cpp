#include "icon_art.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace art {

namespace {

// The scene is modelled in stick units (the base plate is 2 wide, y up, +z
// towards the front) and projected orthographically from the front left,
// a little above.
struct Vec3 {
    float x, y, z;
};

constexpr float kYaw = 0.62f;    // radians: the front-left corner faces the viewer
constexpr float kPitch = 0.50f;  // radians: looking down on the top face

class View {
  public:
    explicit View(int size) : px_(size / 64.0f) {}

    // Design units are pixels of the 64-pixel image.
    Vec2 operator()(Vec3 p) const {
        float xr = p.x * std::cos(kYaw) + p.z * std::sin(kYaw);
        float zr = -p.x * std::sin(kYaw) + p.z * std::cos(kYaw);
        float sy = -p.y * std::cos(kPitch) + zr * std::sin(kPitch);
        return {(32 + xr * kUnit) * px_, (kTop + sy * kUnit) * px_};
    }
    // A horizontal circle's outline is an ellipse: its half-axes in pixels.
    Vec2 Radii(float r) const { return {r * kUnit * px_, r * kUnit * std::sin(kPitch) * px_}; }
    float Px(float design) const { return design * px_; }

  private:
    static constexpr float kUnit = 21.5f;
    static constexpr float kTop = 41.0f;
    float px_;
};

Shape Quad(const View& v, Vec3 a, Vec3 b, Vec3 c, Vec3 d) {
    return Polygon({v(a), v(b), v(c), v(d)});
}

// Radius of the grip at height y: a waist above the ring, fuller at the palm,
// rounding off into the head.
float GripRadius(float y) {
    const float base = 0.27f, top = 1.75f;
    float t = std::min(1.0f, std::max(0.0f, (y - base) / (top - base)));
    float r = 0.185f + 0.07f * std::sin(t * 2.6f) + 0.03f * t;
    return r;
}

}  // namespace

Canvas DrawIcon(int size) {
    View v(size);
    Canvas c(size, size, Grey(255));
    const float h = 0.16f;  // base plate thickness

    // Soft contact shadow on the white ground.
    c.FillSoft(Polygon({v({-1.05f, 0, -1.0f}), v({1.12f, 0, -1.0f}), v({1.12f, 0, 1.12f}),
                        v({-1.05f, 0, 1.12f})}),
               Grey(150), v.Px(5), 0.45f);

    // Cable leaving the back of the base towards the back left.
    std::vector<Vec2> cable;
    for (int i = 0; i <= 12; ++i) {
        float t = i / 12.0f;
        cable.push_back(v({-0.45f - 1.3f * t * t, 0.07f + 0.02f * t, -1.0f - 1.1f * t}));
    }
    c.Fill(Polyline(cable, std::max(0.9f, v.Px(1.6f))), Grey(150));

    // Base plate: top face with a sheen towards the back, two visible sides.
    Shape top = Quad(v, {-1, h, -1}, {1, h, -1}, {1, h, 1}, {-1, h, 1});
    c.Fill(top,
           Linear(v({-1, h, -1}), v({1, h, 1}), {{0, Grey(62)}, {0.5f, Grey(34)}, {1, Grey(20)}}));
    c.Fill(Quad(v, {-1, h, 1}, {1, h, 1}, {1, 0, 1}, {-1, 0, 1}),
           Linear(v({-1, 0, 1}), v({1, 0, 1}), {{0, Grey(28)}, {1, Grey(12)}}));
    c.Fill(Quad(v, {-1, h, -1}, {-1, h, 1}, {-1, 0, 1}, {-1, 0, -1}), Grey(38));
    // Catch-light along the two near top edges.
    c.Fill(Polyline({v({-1, h, -1}), v({-1, h, 1}), v({1, h, 1})}, std::max(0.6f, v.Px(0.9f))),
           Grey(105), 0.9f);
    // Maker marking on the front edge.
    c.Fill(
        Line(v({-0.05f, h * 0.5f, 1.0f}), v({0.45f, h * 0.5f, 1.0f}), std::max(0.8f, v.Px(1.3f))),
        Grey(215));

    // Silver ring where the grip meets the base.
    const float ring_r = 0.34f, ring_lo = h, ring_hi = h + 0.11f;
    Vec2 rr = v.Radii(ring_r);
    Vec2 lo = v({0, ring_lo, 0}), hi = v({0, ring_hi, 0});
    Shape ring = Union(
        Union(Ellipse(lo, rr.x, rr.y), Ellipse(hi, rr.x, rr.y)),
        Polygon(
            {{lo.x - rr.x, lo.y}, {lo.x + rr.x, lo.y}, {hi.x + rr.x, hi.y}, {hi.x - rr.x, hi.y}}));
    c.Fill(ring, Linear({lo.x - rr.x, 0}, {lo.x + rr.x, 0},
                        {{0, Grey(120)},
                         {0.25f, Grey(225)},
                         {0.45f, Grey(190)},
                         {0.7f, Grey(150)},
                         {1, Grey(95)}}));
    c.Fill(Ellipse(hi, rr.x, rr.y),
           Linear({hi.x, hi.y - rr.y}, {hi.x, hi.y + rr.y}, {{0, Grey(140)}, {1, Grey(230)}}));
    c.Fill(Ellipse(hi, rr.x * 0.62f, rr.y * 0.62f), Grey(60));

    // The grip: a stack of horizontal sections, lit from the left like a
    // black plastic cylinder with a soft highlight.
    std::vector<Shape> sections;
    const float y0 = ring_hi - 0.02f, y1 = 1.75f;
    float widest = 0;
    for (int i = 0; i <= 40; ++i) {
        float y = y0 + (y1 - y0) * i / 40.0f;
        float r = GripRadius(y);
        widest = std::max(widest, r);
        float lean = 0.12f * std::max(0.0f, (y - 0.95f) / 0.8f);  // head leans forwards
        Vec2 e = v.Radii(r);
        sections.push_back(Ellipse(v({0, y, lean}), e.x, e.y));
    }
    Shape grip = UnionAll(sections);
    Vec2 axis = v({0, 0, 0});
    float half = v.Radii(widest).x;
    c.Fill(
        grip,
        Linear(
            {axis.x - half, 0}, {axis.x + half, 0},
            {{0, Grey(20)}, {0.22f, Grey(78)}, {0.4f, Grey(34)}, {0.8f, Grey(12)}, {1, Grey(4)}}));
    // Top of the head, catching the light.
    Vec2 cap = v({0, y1, 0.12f});
    Vec2 ce = v.Radii(GripRadius(y1) + 0.01f);
    c.Fill(Ellipse(cap, ce.x, ce.y),
           Linear({cap.x, cap.y - ce.y}, {cap.x, cap.y + ce.y}, {{0, Grey(40)}, {1, Grey(85)}}));

    // Small red button on the top.
    Vec2 button = v({0.03f, y1 + 0.02f, 0.2f});
    Vec2 be = v.Radii(0.095f);
    float bump = std::max(0.7f, be.x);
    c.Fill(
        Ellipse(button, bump, std::max(0.6f, be.y * 1.4f)),
        Radial(
            button - Vec2{bump * 0.3f, be.y * 0.5f}, bump * 1.3f,
            {{0, Colour{255, 140, 130}}, {0.5f, Colour{220, 30, 30}}, {1, Colour{150, 10, 10}}}));
    return c;
}

}  // namespace art

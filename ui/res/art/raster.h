// A small anti-aliased vector rasteriser for the dialog's artwork. Every shape
// is a signed distance in pixels (negative inside), so one coverage rule gives
// smooth edges to circles, rounded rectangles, polygons and thick lines alike.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace art {

struct Vec2 {
    float x = 0;
    float y = 0;
};

inline Vec2 operator+(Vec2 a, Vec2 b) {
    return {a.x + b.x, a.y + b.y};
}
inline Vec2 operator-(Vec2 a, Vec2 b) {
    return {a.x - b.x, a.y - b.y};
}
inline Vec2 operator*(Vec2 a, float s) {
    return {a.x * s, a.y * s};
}
inline Vec2 operator*(float s, Vec2 a) {
    return {a.x * s, a.y * s};
}
float Dot(Vec2 a, Vec2 b);
float Length(Vec2 a);

// Channel values 0..255; blending happens in these units.
struct Colour {
    float r = 0;
    float g = 0;
    float b = 0;
};

inline Colour Grey(float v) {
    return {v, v, v};
}
Colour Mix(Colour a, Colour b, float t);

struct Box {
    float x0 = 0;
    float y0 = 0;
    float x1 = 0;
    float y1 = 0;
};

Box Join(Box a, Box b);
Box Inflate(Box b, float by);

// 2x2 linear part plus translation: p' = (a*x + b*y + tx, c*x + d*y + ty).
struct Affine {
    float a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    Vec2 Apply(Vec2 p) const;
    Affine Inverse() const;
    // The smallest stretch the map applies to any direction; distances seen
    // through the inverse map are scaled by it so edges stay sharp, never blurred.
    float MinScale() const;
    Box ApplyBox(Box b) const;
};

Affine Translate(Vec2 by);
// Squashes by `factor` along the unit direction `along`, about `about`.
Affine Squash(Vec2 along, float factor, Vec2 about);
Affine Then(const Affine& first, const Affine& second);

struct Shape {
    std::function<float(Vec2)> distance;
    Box bounds;
};

Shape Circle(Vec2 centre, float radius);
Shape Ellipse(Vec2 centre, float rx, float ry);
Shape RoundRect(Box box, float radius);
Shape Polygon(std::vector<Vec2> points);
// A closed Catmull-Rom curve through the control points.
Shape SmoothPath(const std::vector<Vec2>& controls, int samples_per_span = 10);
std::vector<Vec2> SmoothPoints(const std::vector<Vec2>& controls, int samples_per_span);
// The same curve left open: it starts at the first control point and ends at the last.
std::vector<Vec2> SmoothPointsOpen(const std::vector<Vec2>& controls, int samples_per_span);
// Thick line with round ends and joins.
Shape Line(Vec2 a, Vec2 b, float width);
Shape Polyline(std::vector<Vec2> points, float width);
// A band of `width` along the edge of `s`, its middle `inset` pixels inside.
Shape Outline(const Shape& s, float width, float inset = 0);
Shape Grow(const Shape& s, float by);
Shape Union(const Shape& a, const Shape& b);
Shape UnionAll(const std::vector<Shape>& parts);
Shape Intersect(const Shape& a, const Shape& b);
Shape Transformed(const Shape& s, const Affine& m);

using Paint = std::function<Colour(Vec2)>;

Paint Solid(Colour c);
// Colour stops at positions 0..1 along p0 -> p1, clamped at both ends.
Paint Linear(Vec2 p0, Vec2 p1, std::vector<std::pair<float, Colour>> stops);
Paint Radial(Vec2 centre, float radius, std::vector<std::pair<float, Colour>> stops);
Paint Transformed(const Paint& p, const Affine& m);

class Canvas {
  public:
    Canvas(int width, int height, Colour background);

    int Width() const { return width_; }
    int Height() const { return height_; }

    // Shapes and paints are given in drawing coordinates; pixel (i, j) covers
    // [i, i+1) x [j, j+1) of the canvas, shifted by the origin.
    void SetOrigin(Vec2 origin) { origin_ = origin; }

    void Fill(const Shape& s, const Paint& p, float opacity = 1);
    void Fill(const Shape& s, Colour c, float opacity = 1) { Fill(s, Solid(c), opacity); }
    // Coverage ramps over `softness` pixels: shadows and glows.
    void FillSoft(const Shape& s, const Paint& p, float softness, float opacity = 1);
    void FillSoft(const Shape& s, Colour c, float softness, float opacity = 1) {
        FillSoft(s, Solid(c), softness, opacity);
    }

    Colour At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    // Rounded 8-bit channels, top row first, red-green-blue order.
    std::vector<std::uint8_t> Rgb8() const;

  private:
    void Cover(const Shape& s, const Paint& p, float opacity, float softness);

    int width_;
    int height_;
    Vec2 origin_;
    std::vector<Colour> pixels_;
};

}  // namespace art

#include "raster.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace art {

namespace {

// Side of the square blocks the filler first decides as a whole.
constexpr int kBlock = 8;

float Clamp01(float v) {
    return std::min(1.0f, std::max(0.0f, v));
}

Box BoundsOf(const std::vector<Vec2>& points) {
    Box b{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
          std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest()};
    for (Vec2 p : points) {
        b.x0 = std::min(b.x0, p.x);
        b.y0 = std::min(b.y0, p.y);
        b.x1 = std::max(b.x1, p.x);
        b.y1 = std::max(b.y1, p.y);
    }
    return b;
}

float SegmentDistance(Vec2 p, Vec2 a, Vec2 b) {
    Vec2 ab = b - a;
    float len2 = Dot(ab, ab);
    float t = len2 > 0 ? Clamp01(Dot(p - a, ab) / len2) : 0;
    return Length(p - (a + ab * t));
}

Colour AtStops(const std::vector<std::pair<float, Colour>>& stops, float t) {
    if (stops.empty()) return {};
    if (t <= stops.front().first) return stops.front().second;
    for (size_t i = 1; i < stops.size(); ++i) {
        if (t <= stops[i].first) {
            float span = stops[i].first - stops[i - 1].first;
            float f = span > 0 ? (t - stops[i - 1].first) / span : 1;
            return Mix(stops[i - 1].second, stops[i].second, f);
        }
    }
    return stops.back().second;
}

}  // namespace

float Dot(Vec2 a, Vec2 b) {
    return a.x * b.x + a.y * b.y;
}
float Length(Vec2 a) {
    return std::sqrt(Dot(a, a));
}

Colour Mix(Colour a, Colour b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Box Join(Box a, Box b) {
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

Box Inflate(Box b, float by) {
    return {b.x0 - by, b.y0 - by, b.x1 + by, b.y1 + by};
}

Vec2 Affine::Apply(Vec2 p) const {
    return {a * p.x + b * p.y + tx, c * p.x + d * p.y + ty};
}

Affine Affine::Inverse() const {
    float det = a * d - b * c;
    Affine r;
    r.a = d / det;
    r.b = -b / det;
    r.c = -c / det;
    r.d = a / det;
    r.tx = -(r.a * tx + r.b * ty);
    r.ty = -(r.c * tx + r.d * ty);
    return r;
}

float Affine::MinScale() const {
    // Smallest singular value of the 2x2 part.
    float s1 = a * a + b * b + c * c + d * d;
    float det = a * d - b * c;
    float disc = std::sqrt(std::max(0.0f, s1 * s1 - 4 * det * det));
    return std::sqrt(std::max(0.0f, (s1 - disc) / 2));
}

Box Affine::ApplyBox(Box bx) const {
    return BoundsOf({Apply({bx.x0, bx.y0}), Apply({bx.x1, bx.y0}), Apply({bx.x0, bx.y1}),
                     Apply({bx.x1, bx.y1})});
}

Affine Translate(Vec2 by) {
    return {1, 0, 0, 1, by.x, by.y};
}

Affine Squash(Vec2 along, float factor, Vec2 about) {
    // I + (factor - 1) * u u^T, fixed at `about`.
    float k = factor - 1;
    Affine m{1 + k * along.x * along.x,
             k * along.x * along.y,
             k * along.x * along.y,
             1 + k * along.y * along.y,
             0,
             0};
    Vec2 moved = m.Apply(about);
    m.tx = about.x - moved.x;
    m.ty = about.y - moved.y;
    return m;
}

Affine Then(const Affine& f, const Affine& s) {
    return {s.a * f.a + s.b * f.c, s.a * f.b + s.b * f.d,          s.c * f.a + s.d * f.c,
            s.c * f.b + s.d * f.d, s.a * f.tx + s.b * f.ty + s.tx, s.c * f.tx + s.d * f.ty + s.ty};
}

Shape Circle(Vec2 centre, float radius) {
    return {[=](Vec2 p) { return Length(p - centre) - radius; },
            {centre.x - radius, centre.y - radius, centre.x + radius, centre.y + radius}};
}

Shape Ellipse(Vec2 centre, float rx, float ry) {
    if (rx == ry) return Circle(centre, rx);
    return {[=](Vec2 p) {
                // First-order distance estimate: the implicit value over its gradient.
                Vec2 q = p - centre;
                float k0 = Length({q.x / rx, q.y / ry});
                float k1 = Length({q.x / (rx * rx), q.y / (ry * ry)});
                if (k1 == 0) return -std::min(rx, ry);
                return k0 * (k0 - 1) / k1;
            },
            {centre.x - rx, centre.y - ry, centre.x + rx, centre.y + ry}};
}

Shape RoundRect(Box box, float radius) {
    Vec2 centre{(box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2};
    Vec2 half{(box.x1 - box.x0) / 2, (box.y1 - box.y0) / 2};
    radius = std::min(radius, std::min(half.x, half.y));
    return {[=](Vec2 p) {
                float qx = std::fabs(p.x - centre.x) - half.x + radius;
                float qy = std::fabs(p.y - centre.y) - half.y + radius;
                float outside = Length({std::max(qx, 0.0f), std::max(qy, 0.0f)});
                return outside + std::min(std::max(qx, qy), 0.0f) - radius;
            },
            box};
}

Shape Polygon(std::vector<Vec2> v) {
    Box bounds = BoundsOf(v);
    return {[v = std::move(v)](Vec2 p) {
                // Nearest edge gives the distance; crossings give the side
                // (even-odd). Plain floats: this loop is most of the drawing time.
                const Vec2* pts = v.data();
                const size_t n = v.size();
                float best = std::numeric_limits<float>::max();
                bool inside = false;
                for (size_t i = 0, j = n - 1; i < n; j = i++) {
                    const float ex = pts[j].x - pts[i].x, ey = pts[j].y - pts[i].y;
                    const float wx = p.x - pts[i].x, wy = p.y - pts[i].y;
                    const float len2 = ex * ex + ey * ey;
                    float t = len2 > 0 ? (wx * ex + wy * ey) / len2 : 0;
                    t = t < 0 ? 0 : (t > 1 ? 1 : t);
                    const float ox = wx - ex * t, oy = wy - ey * t;
                    const float d2 = ox * ox + oy * oy;
                    if (d2 < best) best = d2;
                    const bool above_i = p.y >= pts[i].y;
                    const bool below_j = p.y < pts[j].y;
                    const bool left = ex * wy > ey * wx;
                    if ((above_i && below_j && left) || (!above_i && !below_j && !left)) {
                        inside = !inside;
                    }
                }
                float d = std::sqrt(best);
                return inside ? -d : d;
            },
            bounds};
}

std::vector<Vec2> SmoothPoints(const std::vector<Vec2>& c, int samples) {
    std::vector<Vec2> out;
    size_t n = c.size();
    if (n < 3) return c;
    for (size_t i = 0; i < n; ++i) {
        Vec2 p0 = c[(i + n - 1) % n], p1 = c[i], p2 = c[(i + 1) % n], p3 = c[(i + 2) % n];
        for (int s = 0; s < samples; ++s) {
            float t = static_cast<float>(s) / samples;
            float t2 = t * t, t3 = t2 * t;
            Vec2 p = 0.5f * (2 * p1 + (p2 - p0) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t2 +
                             (3 * p1 - p0 - 3 * p2 + p3) * t3);
            out.push_back(p);
        }
    }
    return out;
}

std::vector<Vec2> SmoothPointsOpen(const std::vector<Vec2>& c, int samples) {
    if (c.size() < 3) return c;
    // Mirror the end points so the first and last spans get tangents too.
    std::vector<Vec2> ext;
    ext.push_back(2 * c.front() - c[1]);
    ext.insert(ext.end(), c.begin(), c.end());
    ext.push_back(2 * c.back() - c[c.size() - 2]);
    std::vector<Vec2> closed = SmoothPoints(ext, samples);
    // Spans of the closed curve start at each control point; keep the ones
    // from the first real point up to the last.
    std::vector<Vec2> out(closed.begin() + samples,
                          closed.begin() + static_cast<long>(samples * (c.size() - 1) + samples));
    out.push_back(c.back());
    return out;
}

Shape SmoothPath(const std::vector<Vec2>& controls, int samples_per_span) {
    return Polygon(SmoothPoints(controls, samples_per_span));
}

Shape Line(Vec2 a, Vec2 b, float width) {
    float r = width / 2;
    return {[=](Vec2 p) { return SegmentDistance(p, a, b) - r; }, Inflate(BoundsOf({a, b}), r)};
}

Shape Polyline(std::vector<Vec2> pts, float width) {
    float r = width / 2;
    Box bounds = Inflate(BoundsOf(pts), r);
    return {[pts = std::move(pts), r](Vec2 p) {
                float best = std::numeric_limits<float>::max();
                for (size_t i = 0; i + 1 < pts.size(); ++i) {
                    best = std::min(best, SegmentDistance(p, pts[i], pts[i + 1]));
                }
                if (pts.size() == 1) best = Length(p - pts[0]);
                return best - r;
            },
            bounds};
}

Shape Outline(const Shape& s, float width, float inset) {
    auto d = s.distance;
    float half = width / 2;
    return {[=](Vec2 p) { return std::fabs(d(p) + inset) - half; },
            Inflate(s.bounds, std::max(0.0f, half - inset))};
}

Shape Grow(const Shape& s, float by) {
    auto d = s.distance;
    return {[=](Vec2 p) { return d(p) - by; }, Inflate(s.bounds, std::max(0.0f, by))};
}

Shape Union(const Shape& a, const Shape& b) {
    auto da = a.distance, db = b.distance;
    return {[=](Vec2 p) { return std::min(da(p), db(p)); }, Join(a.bounds, b.bounds)};
}

Shape UnionAll(const std::vector<Shape>& parts) {
    Box bounds = parts.front().bounds;
    for (const Shape& s : parts) bounds = Join(bounds, s.bounds);
    return {[parts](Vec2 p) {
                float best = std::numeric_limits<float>::max();
                for (const Shape& s : parts) {
                    // Only the parts near the point can be the nearest.
                    const Box& b = s.bounds;
                    float gap = std::max(std::max(b.x0 - p.x, p.x - b.x1),
                                         std::max(b.y0 - p.y, p.y - b.y1));
                    if (gap > best) continue;
                    best = std::min(best, s.distance(p));
                }
                return best;
            },
            bounds};
}

Shape Intersect(const Shape& a, const Shape& b) {
    auto da = a.distance, db = b.distance;
    Box bounds{std::max(a.bounds.x0, b.bounds.x0), std::max(a.bounds.y0, b.bounds.y0),
               std::min(a.bounds.x1, b.bounds.x1), std::min(a.bounds.y1, b.bounds.y1)};
    return {[=](Vec2 p) { return std::max(da(p), db(p)); }, bounds};
}

Shape Transformed(const Shape& s, const Affine& m) {
    auto d = s.distance;
    Affine inv = m.Inverse();
    float scale = m.MinScale();
    return {[=](Vec2 p) { return d(inv.Apply(p)) * scale; }, m.ApplyBox(s.bounds)};
}

Paint Solid(Colour c) {
    return [=](Vec2) { return c; };
}

Paint Linear(Vec2 p0, Vec2 p1, std::vector<std::pair<float, Colour>> stops) {
    Vec2 axis = p1 - p0;
    float len2 = Dot(axis, axis);
    return [=](Vec2 p) { return AtStops(stops, len2 > 0 ? Dot(p - p0, axis) / len2 : 0); };
}

Paint Radial(Vec2 centre, float radius, std::vector<std::pair<float, Colour>> stops) {
    return [=](Vec2 p) { return AtStops(stops, Length(p - centre) / radius); };
}

Paint Transformed(const Paint& paint, const Affine& m) {
    Affine inv = m.Inverse();
    return [=](Vec2 p) { return paint(inv.Apply(p)); };
}

Canvas::Canvas(int width, int height, Colour background)
    : width_(width),
      height_(height),
      pixels_(static_cast<size_t>(width) * static_cast<size_t>(height), background) {}

void Canvas::Fill(const Shape& s, const Paint& p, float opacity) {
    Cover(s, p, opacity, 1);
}

void Canvas::FillSoft(const Shape& s, const Paint& p, float softness, float opacity) {
    Cover(s, p, opacity, std::max(1.0f, softness));
}

void Canvas::Cover(const Shape& s, const Paint& paint, float opacity, float softness) {
    // Only pixels the shape (plus its soft edge) can reach are visited.
    Box b = Inflate(s.bounds, softness / 2 + 1);
    int x0 = std::max(0, static_cast<int>(std::floor(b.x0 + origin_.x)));
    int y0 = std::max(0, static_cast<int>(std::floor(b.y0 + origin_.y)));
    int x1 = std::min(width_, static_cast<int>(std::ceil(b.x1 + origin_.x)) + 1);
    int y1 = std::min(height_, static_cast<int>(std::ceil(b.y1 + origin_.y)) + 1);
    const float edge = softness / 2;
    for (int by = y0; by < y1; by += kBlock) {
        for (int bx = x0; bx < x1; bx += kBlock) {
            const int ex = std::min(x1, bx + kBlock), ey = std::min(y1, by + kBlock);
            // Distances change by at most one per pixel of travel, so one
            // sample at the block's middle tells whether every pixel of the
            // block is wholly outside or wholly inside.
            Vec2 mid{(bx + ex) / 2.0f - origin_.x, (by + ey) / 2.0f - origin_.y};
            float reach = Length({(ex - bx - 1) / 2.0f, (ey - by - 1) / 2.0f});
            float d = s.distance(mid);
            if (d > reach + edge) continue;
            const bool solid = d < -(reach + edge);
            for (int y = by; y < ey; ++y) {
                for (int x = bx; x < ex; ++x) {
                    Vec2 p{x + 0.5f - origin_.x, y + 0.5f - origin_.y};
                    float a = solid ? 1 : Clamp01(0.5f - s.distance(p) / softness);
                    a *= opacity;
                    if (a <= 0) continue;
                    Colour& dst = pixels_[static_cast<size_t>(y) * width_ + x];
                    dst = a >= 1 ? paint(p) : Mix(dst, paint(p), a);
                }
            }
        }
    }
}

std::vector<std::uint8_t> Canvas::Rgb8() const {
    std::vector<std::uint8_t> out;
    out.reserve(pixels_.size() * 3);
    auto channel = [](float v) {
        return static_cast<std::uint8_t>(std::lround(std::min(255.0f, std::max(0.0f, v))));
    };
    for (const Colour& c : pixels_) {
        out.push_back(channel(c.r));
        out.push_back(channel(c.g));
        out.push_back(channel(c.b));
    }
    return out;
}

}  // namespace art

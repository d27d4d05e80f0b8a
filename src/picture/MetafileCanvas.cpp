#include "picture/MetafileCanvas.h"

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <numbers>

namespace plown {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kCoordLimit = 1e7;     // output coordinates beyond this are clamped
constexpr int kMaxSavedStates = 1000;
// Pixels, points and edge visits one picture may cost before drawing stops,
// in canvases' worth: a tiny file must not paint a full canvas a million times.
constexpr int64_t kWorkBudgetCanvases = 16;
constexpr int64_t kWorkBudgetBase = int64_t{1} << 24;

double Clamp(double v) {
  if (std::isnan(v)) return 0;
  return std::clamp(v, -kCoordLimit, kCoordLimit);
}

// Pixel column or row whose centre is the first at or after v.
int PixelEdge(double v) { return static_cast<int>(std::ceil(std::clamp(v, -1e8, 1e8) - 0.5)); }

uint8_t Rop3(unsigned index, uint8_t p, uint8_t s, uint8_t d) {
  unsigned out = 0;
  for (unsigned k = 0; k < 8; ++k) {
    if (!(index >> k & 1)) continue;
    // Bit k of the operation index holds the result for pattern, source and
    // destination bits (k >> 2 & 1, k >> 1 & 1, k & 1).
    unsigned pb = (k & 4) ? p : ~p, sb = (k & 2) ? s : ~s, db = (k & 1) ? d : ~d;
    out |= pb & sb & db;
  }
  return static_cast<uint8_t>(out);
}

}  // namespace

MetafileCanvas::MetafileCanvas(int width, int height, double scale, double originX, double originY, double dpiX,
                               double dpiY)
    : bitmap_(width, height, 32),
      scale_(scale),
      originX_(originX),
      originY_(originY),
      dpiX_(dpiX > 0 ? dpiX : 96),
      dpiY_(dpiY > 0 ? dpiY : 96),
      budget_(kWorkBudgetBase + kWorkBudgetCanvases * width * height) {
  for (int y = 0; y < height; ++y) std::memset(bitmap_.Row(y), 0xFF, bitmap_.Stride());
  ResetClip();
}

void MetafileCanvas::SaveDc() {
  if (saved_.size() < kMaxSavedStates) saved_.push_back(state_);
}

void MetafileCanvas::RestoreDc(int which) {
  // Negative: relative to the current level; positive: an absolute level.
  size_t level;
  if (which < 0) {
    auto back = static_cast<uint64_t>(-static_cast<int64_t>(which));
    if (back > saved_.size()) return;
    level = saved_.size() - back;
  } else {
    if (which == 0 || static_cast<size_t>(which) > saved_.size()) return;
    level = static_cast<size_t>(which) - 1;
  }
  state_ = saved_[level];
  saved_.resize(level);
}

void MetafileCanvas::SetWindowExt(double x, double y) {
  if (x == 0 || y == 0) return;
  state_.windowExtX = x;
  state_.windowExtY = y;
}

void MetafileCanvas::SetViewportExt(double x, double y) {
  if (x == 0 || y == 0) return;
  state_.viewExtX = x;
  state_.viewExtY = y;
}

void MetafileCanvas::ScaleWindowExt(double xNum, double xDen, double yNum, double yDen) {
  if (xDen != 0 && yDen != 0) SetWindowExt(state_.windowExtX * xNum / xDen, state_.windowExtY * yNum / yDen);
}

void MetafileCanvas::ScaleViewportExt(double xNum, double xDen, double yNum, double yDen) {
  if (xDen != 0 && yDen != 0) SetViewportExt(state_.viewExtX * xNum / xDen, state_.viewExtY * yNum / yDen);
}

void MetafileCanvas::ResetClip() {
  state_.clipX0 = state_.clipY0 = 0;
  state_.clipX1 = bitmap_.Width();
  state_.clipY1 = bitmap_.Height();
}

void MetafileCanvas::IntersectClip(double left, double top, double right, double bottom) {
  PointD a = ToOutput({left, top}), b = ToOutput({right, bottom});
  auto lo = PixelEdge;
  state_.clipX0 = std::max(state_.clipX0, lo(std::min(a.x, b.x)));
  state_.clipX1 = std::min(state_.clipX1, lo(std::max(a.x, b.x)));
  state_.clipY0 = std::max(state_.clipY0, lo(std::min(a.y, b.y)));
  state_.clipY1 = std::min(state_.clipY1, lo(std::max(a.y, b.y)));
}

void MetafileCanvas::SetClipDevice(double left, double top, double right, double bottom) {
  ResetClip();
  auto x = [&](double v) { return PixelEdge((v - originX_) * scale_); };
  auto y = [&](double v) { return PixelEdge((v - originY_) * scale_); };
  state_.clipX0 = std::max(state_.clipX0, x(left));
  state_.clipX1 = std::min(state_.clipX1, x(right));
  state_.clipY0 = std::max(state_.clipY0, y(top));
  state_.clipY1 = std::min(state_.clipY1, y(bottom));
}

// Page scale of the mapping mode: device units per logical unit.
static void PageScale(const DcState& s, double dpiX, double dpiY, double& sx, double& sy) {
  auto fixed = [&](double unitsPerInch) {
    sx = dpiX / unitsPerInch;
    sy = -dpiY / unitsPerInch;  // these modes have y growing upwards
  };
  switch (s.mapMode) {
    case kMmLoMetric: fixed(254); break;
    case kMmHiMetric: fixed(2540); break;
    case kMmLoEnglish: fixed(100); break;
    case kMmHiEnglish: fixed(1000); break;
    case kMmTwips: fixed(1440); break;
    case kMmIsotropic: {
      sx = s.viewExtX / s.windowExtX;
      sy = s.viewExtY / s.windowExtY;
      double m = std::min(std::fabs(sx), std::fabs(sy));
      sx = std::copysign(m, sx);
      sy = std::copysign(m, sy);
      break;
    }
    case kMmAnisotropic:
      sx = s.viewExtX / s.windowExtX;
      sy = s.viewExtY / s.windowExtY;
      break;
    default: sx = sy = 1;
  }
}

PointD MetafileCanvas::ToOutput(PointD p) const {
  const Xform& w = state_.world;
  double wx = w.m11 * p.x + w.m21 * p.y + w.dx;
  double wy = w.m12 * p.x + w.m22 * p.y + w.dy;
  double sx, sy;
  PageScale(state_, dpiX_, dpiY_, sx, sy);
  double dx = (wx - state_.windowOrgX) * sx + state_.viewOrgX;
  double dy = (wy - state_.windowOrgY) * sy + state_.viewOrgY;
  return {Clamp((dx - originX_) * scale_), Clamp((dy - originY_) * scale_)};
}

std::vector<PointD> MetafileCanvas::ToOutput(const std::vector<PointD>& points) {
  // Points count against the budget too: a file of many tiny shapes must
  // not take minutes either.
  if (!Spend(static_cast<int64_t>(points.size()))) return {};
  std::vector<PointD> out;
  out.reserve(points.size());
  for (const PointD& p : points) out.push_back(ToOutput(p));
  return out;
}

double MetafileCanvas::OutputScale() const {
  double sx, sy;
  PageScale(state_, dpiX_, dpiY_, sx, sy);
  const Xform& w = state_.world;
  double det = std::fabs((w.m11 * w.m22 - w.m12 * w.m21) * sx * sy) * scale_ * scale_;
  double s = std::sqrt(det);
  return std::isfinite(s) ? std::min(s, kCoordLimit) : 0;
}

bool MetafileCanvas::Spend(int64_t work) {
  budget_ -= work;
  return budget_ >= 0;
}

// ---- Rasterising -----------------------------------------------------------

void MetafileCanvas::Span(int y, int x0, int x1, const Brush& brush) {
  if (y < state_.clipY0 || y >= state_.clipY1) return;
  x0 = std::max(x0, state_.clipX0);
  x1 = std::min(x1, state_.clipX1);
  if (x0 >= x1 || !Spend(x1 - x0)) return;
  uint8_t* row = bitmap_.Row(y);
  const PLBitmap* pattern = brush.pattern.get();
  for (int x = x0; x < x1; ++x) {
    PLPixel32 c = pattern ? pattern->GetPixel(x % pattern->Width(), y % pattern->Height()) : brush.colour;
    PutRgb(row, x, 32, c.r, c.g, c.b, 0xFF);
  }
}

// Scan-line fill sampling pixel centres, so a rectangle from 10 to 20 covers
// pixels 10 to 19 as GDI fills it.
void MetafileCanvas::FillPolygons(const std::vector<const std::vector<PointD>*>& polygons, int fillMode,
                                  const Brush& brush) {
  struct Edge {
    double x0, y0, x1, y1;
    int dir;
  };
  std::vector<Edge> edges;
  double minY = 1e300, maxY = -1e300;
  for (const auto* poly : polygons) {
    size_t n = poly->size();
    for (size_t i = 0; i < n; ++i) {
      PointD a = (*poly)[i], b = (*poly)[(i + 1) % n];
      if (a.y == b.y) continue;
      int dir = a.y < b.y ? 1 : -1;
      if (dir < 0) std::swap(a, b);
      edges.push_back({a.x, a.y, b.x, b.y, dir});
      minY = std::min(minY, a.y);
      maxY = std::max(maxY, b.y);
    }
  }
  if (edges.empty()) return;
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });
  int yStart = std::max(state_.clipY0, PixelEdge(minY));
  int yEnd = std::min(state_.clipY1, PixelEdge(maxY));
  std::vector<const Edge*> active;
  std::vector<std::pair<double, int>> crossings;
  size_t next = 0;
  for (int y = yStart; y < yEnd; ++y) {
    double yc = y + 0.5;
    while (next < edges.size() && edges[next].y0 <= yc) active.push_back(&edges[next++]);
    std::erase_if(active, [yc](const Edge* e) { return e->y1 <= yc; });
    if (!Spend(static_cast<int64_t>(active.size()) + 1)) return;
    crossings.clear();
    for (const Edge* e : active) {
      if (e->y0 > yc) continue;
      double x = e->x0 + (yc - e->y0) * (e->x1 - e->x0) / (e->y1 - e->y0);
      crossings.push_back({x, e->dir});
    }
    std::sort(crossings.begin(), crossings.end());
    int winding = 0;
    for (size_t i = 0; i + 1 < crossings.size(); ++i) {
      winding += crossings[i].second;
      bool inside = fillMode == kWinding ? winding != 0 : (i % 2) == 0;
      if (!inside) continue;
      Span(y, PixelEdge(crossings[i].first), PixelEdge(crossings[i + 1].first), brush);
    }
  }
}

void MetafileCanvas::ThinLine(PointD a, PointD b, PLPixel32 colour) {
  // Clip to the canvas (with a margin) first, so far-away lines cost nothing.
  double t0 = 0, t1 = 1, dx = b.x - a.x, dy = b.y - a.y;
  const double lo[2] = {-2, -2}, hi[2] = {bitmap_.Width() + 2.0, bitmap_.Height() + 2.0};
  const double p0[2] = {a.x, a.y}, d[2] = {dx, dy};
  for (int axis = 0; axis < 2; ++axis) {
    if (d[axis] == 0) {
      if (p0[axis] < lo[axis] || p0[axis] > hi[axis]) return;
      continue;
    }
    double ta = (lo[axis] - p0[axis]) / d[axis], tb = (hi[axis] - p0[axis]) / d[axis];
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
    if (t0 > t1) return;
  }
  double ax = a.x + t0 * dx, ay = a.y + t0 * dy, bx = a.x + t1 * dx, by = a.y + t1 * dy;
  int steps = static_cast<int>(std::ceil(std::max(std::fabs(bx - ax), std::fabs(by - ay))));
  if (!Spend(steps + 1)) return;
  for (int i = 0; i <= steps; ++i) {
    double t = steps ? static_cast<double>(i) / steps : 0;
    int x = static_cast<int>(std::floor(ax + t * (bx - ax))), y = static_cast<int>(std::floor(ay + t * (by - ay)));
    if (x < state_.clipX0 || x >= state_.clipX1 || y < state_.clipY0 || y >= state_.clipY1) continue;
    PutRgb(bitmap_.Row(y), x, 32, colour.r, colour.g, colour.b, 0xFF);
  }
}

void MetafileCanvas::StrokeFigure(const Figure& figure) {
  const Pen& pen = state_.pen;
  if ((pen.style & 0x0F) == kPsNull || figure.points.empty()) return;
  double width = pen.cosmetic ? 1 : pen.width * OutputScale();
  width = std::min(width, 4.0 * (bitmap_.Width() + bitmap_.Height()));
  size_t n = figure.points.size();
  size_t segments = figure.closed ? n : n - 1;
  if (width < 1.5) {
    if (n == 1) ThinLine(figure.points[0], figure.points[0], pen.colour);
    for (size_t i = 0; i < segments; ++i) ThinLine(figure.points[i], figure.points[(i + 1) % n], pen.colour);
    return;
  }
  // Wide pens: each segment is a filled band, each joint a round cap.
  Brush ink;
  ink.colour = pen.colour;
  double half = width / 2;
  std::vector<PointD> quad(4);
  int capSegments = Segments(half, half, 2 * kPi);
  for (size_t i = 0; i < segments; ++i) {
    PointD a = figure.points[i], b = figure.points[(i + 1) % n];
    double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
    if (len == 0) continue;
    double nx = -dy / len * half, ny = dx / len * half;
    quad = {{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}};
    FillPolygons({&quad}, kWinding, ink);
  }
  for (const PointD& p : figure.points) {
    std::vector<PointD> cap = EllipsePoints(p.x, p.y, half, half, 0, 2 * kPi, capSegments);
    FillPolygons({&cap}, kWinding, ink);
  }
}

void MetafileCanvas::FillFigures(const std::vector<Figure>& figures) {
  if (state_.brush.style == kBsNull) return;
  std::vector<const std::vector<PointD>*> polygons;
  for (const Figure& f : figures) polygons.push_back(&f.points);
  FillPolygons(polygons, state_.fillMode, state_.brush);
}

// ---- Shapes ----------------------------------------------------------------

int MetafileCanvas::Segments(double rx, double ry, double sweep) const {
  double size = std::fabs(rx) + std::fabs(ry);
  if (!std::isfinite(size)) size = 16;
  if (!std::isfinite(sweep) || sweep > 2 * kPi) sweep = 2 * kPi;
  int full = static_cast<int>(std::clamp(size, 16.0, 720.0));
  return std::max(2, static_cast<int>(std::ceil(full * sweep / (2 * kPi))));
}

// Points of an elliptic arc, counter-clockwise as seen on a y-down screen.
std::vector<PointD> MetafileCanvas::EllipsePoints(double cx, double cy, double rx, double ry, double from,
                                                  double sweep, int segments) {
  std::vector<PointD> points;
  points.reserve(segments + 1);
  for (int i = 0; i <= segments; ++i) {
    double a = from + sweep * i / segments;
    points.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
  }
  return points;
}

void MetafileCanvas::Shape(const std::vector<PointD>& logical, bool fill) {
  Figure figure{ToOutput(logical), true};
  if (inPath_) {
    path_.push_back(std::move(figure));
    figureOpen_ = false;
    return;
  }
  if (fill) FillFigures({figure});
  StrokeFigure(figure);
}

void MetafileCanvas::Polygon(const std::vector<PointD>& points) {
  if (points.size() >= 2) Shape(points, true);
}

void MetafileCanvas::PolyPolygon(const std::vector<std::vector<PointD>>& polygons) {
  std::vector<Figure> figures;
  for (const auto& p : polygons)
    if (p.size() >= 2) figures.push_back({ToOutput(p), true});
  if (inPath_) {
    for (auto& f : figures) path_.push_back(std::move(f));
    figureOpen_ = false;
    return;
  }
  FillFigures(figures);
  for (const Figure& f : figures) StrokeFigure(f);
}

void MetafileCanvas::Polyline(const std::vector<PointD>& points) {
  if (points.size() < 2) return;
  Figure figure{ToOutput(points), false};
  if (inPath_) {
    path_.push_back(std::move(figure));
    figureOpen_ = true;
    return;
  }
  StrokeFigure(figure);
}

void MetafileCanvas::PolylineTo(const std::vector<PointD>& points) {
  if (points.empty()) return;
  if (inPath_) {
    for (const PointD& p : points) LineTo(p);
    return;
  }
  std::vector<PointD> all{state_.position};
  all.insert(all.end(), points.begin(), points.end());
  StrokeFigure({ToOutput(all), false});
  state_.position = points.back();
}

void MetafileCanvas::PolyBezier(const std::vector<PointD>& points, bool fromCurrent) {
  if (budget_ < 0) return;
  std::vector<PointD> flat;
  size_t i = 0;
  PointD p0 = state_.position;
  if (!fromCurrent) {
    if (points.empty()) return;
    p0 = points[0];
    flat.push_back(p0);
    i = 1;
  }
  for (; i + 3 <= points.size(); i += 3) {
    PointD p1 = points[i], p2 = points[i + 1], p3 = points[i + 2];
    const int steps = 16;
    for (int k = 1; k <= steps; ++k) {
      double t = static_cast<double>(k) / steps, u = 1 - t;
      flat.push_back({u * u * u * p0.x + 3 * u * u * t * p1.x + 3 * u * t * t * p2.x + t * t * t * p3.x,
                      u * u * u * p0.y + 3 * u * u * t * p1.y + 3 * u * t * t * p2.y + t * t * t * p3.y});
    }
    p0 = p3;
  }
  if (fromCurrent)
    PolylineTo(flat);
  else
    Polyline(flat);
}

void MetafileCanvas::MoveTo(PointD p) {
  state_.position = p;
  figureOpen_ = false;
}

void MetafileCanvas::LineTo(PointD p) {
  if (inPath_) {
    if (!figureOpen_ || path_.empty()) {
      path_.push_back({{ToOutput(state_.position)}, false});
      figureOpen_ = true;
    }
    path_.back().points.push_back(ToOutput(p));
  } else {
    StrokeFigure({{ToOutput(state_.position), ToOutput(p)}, false});
  }
  state_.position = p;
}

void MetafileCanvas::Rectangle(double l, double t, double r, double b) {
  Shape({{l, t}, {r, t}, {r, b}, {l, b}}, true);
}

void MetafileCanvas::RoundRect(double l, double t, double r, double b, double cornerWidth, double cornerHeight) {
  if (budget_ < 0) return;
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  double rx = std::min(std::fabs(cornerWidth) / 2, (r - l) / 2), ry = std::min(std::fabs(cornerHeight) / 2, (b - t) / 2);
  double scale = OutputScale();
  int n = Segments(rx * scale, ry * scale, kPi / 2);
  std::vector<PointD> points;
  const double centres[4][2] = {{r - rx, t + ry}, {l + rx, t + ry}, {l + rx, b - ry}, {r - rx, b - ry}};
  for (int q = 0; q < 4; ++q) {
    auto arc = EllipsePoints(centres[q][0], centres[q][1], rx, ry, q * kPi / 2, kPi / 2, n);
    points.insert(points.end(), arc.begin(), arc.end());
  }
  Shape(points, true);
}

void MetafileCanvas::Ellipse(double l, double t, double r, double b) {
  if (budget_ < 0) return;
  double rx = (r - l) / 2, ry = (b - t) / 2, scale = OutputScale();
  Shape(EllipsePoints(l + rx, t + ry, rx, ry, 0, 2 * kPi, Segments(rx * scale, ry * scale, 2 * kPi)), true);
}

void MetafileCanvas::Arc(ArcKind kind, double l, double t, double r, double b, PointD start, PointD end) {
  if (budget_ < 0) return;
  double cx = (l + r) / 2, cy = (t + b) / 2, rx = std::fabs(r - l) / 2, ry = std::fabs(b - t) / 2;
  if (rx == 0 || ry == 0) return;
  // The arc runs from the radial through start to the radial through end.
  double from = std::atan2(-(start.y - cy) / ry, (start.x - cx) / rx);
  double to = std::atan2(-(end.y - cy) / ry, (end.x - cx) / rx);
  double sweep = to - from;
  if (sweep <= 0) sweep += 2 * kPi;
  double scale = OutputScale();
  std::vector<PointD> points = EllipsePoints(cx, cy, rx, ry, from, sweep, Segments(rx * scale, ry * scale, sweep));
  switch (kind) {
    case ArcKind::kArc: Polyline(points); break;
    case ArcKind::kArcTo: PolylineTo(points); break;
    case ArcKind::kChord: Shape(points, true); break;
    case ArcKind::kPie:
      points.push_back({cx, cy});
      Shape(points, true);
      break;
  }
}

void MetafileCanvas::SetPixel(PointD p, PLPixel32 colour) {
  PointD o = ToOutput(p);
  int x = static_cast<int>(std::floor(o.x)), y = static_cast<int>(std::floor(o.y));
  if (x < state_.clipX0 || x >= state_.clipX1 || y < state_.clipY0 || y >= state_.clipY1) return;
  PutRgb(bitmap_.Row(y), x, 32, colour.r, colour.g, colour.b, 0xFF);
}

void MetafileCanvas::Blit(double x, double y, double w, double h, const PLBitmap* src, int sx, int sy, int sw, int sh,
                          uint32_t rop) {
  unsigned index = rop >> 16 & 0xFF;
  bool usesSource = ((index >> 2) & 0x33) != (index & 0x33);
  if (usesSource && (src == nullptr || sw == 0 || sh == 0)) return;
  PointD a = ToOutput({x, y}), b = ToOutput({x + w, y + h});
  if (a.x == b.x || a.y == b.y) return;
  int x0 = std::max(state_.clipX0, PixelEdge(std::min(a.x, b.x)));
  int x1 = std::min(state_.clipX1, PixelEdge(std::max(a.x, b.x)));
  int y0 = std::max(state_.clipY0, PixelEdge(std::min(a.y, b.y)));
  int y1 = std::min(state_.clipY1, PixelEdge(std::max(a.y, b.y)));
  if (x0 >= x1 || y0 >= y1 || !Spend(static_cast<int64_t>(x1 - x0) * (y1 - y0))) return;
  const Brush& brush = state_.brush;
  for (int py = y0; py < y1; ++py) {
    // A negative extent on either side mirrors the picture.
    double v = (py + 0.5 - a.y) / (b.y - a.y);
    int64_t srcY = sy + static_cast<int64_t>(std::floor(v * sh));
    if (usesSource && (srcY < 0 || srcY >= src->Height())) continue;
    uint8_t* row = bitmap_.Row(py);
    for (int px = x0; px < x1; ++px) {
      PLPixel32 s{};
      if (usesSource) {
        double u = (px + 0.5 - a.x) / (b.x - a.x);
        int64_t srcX = sx + static_cast<int64_t>(std::floor(u * sw));
        if (srcX < 0 || srcX >= src->Width()) continue;
        s = src->GetPixel(static_cast<int>(srcX), static_cast<int>(srcY));
      }
      uint8_t* d = row + 4 * static_cast<size_t>(px);
      if (index == 0xCC) {
        PutRgb(row, px, 32, s.r, s.g, s.b, 0xFF);
        continue;
      }
      PLPixel32 p = brush.style == kBsNull ? PLPixel32{0, 0, 0, 0}
                    : brush.pattern        ? brush.pattern->GetPixel(px % brush.pattern->Width(),
                                                                     py % brush.pattern->Height())
                                           : brush.colour;
      d[0] = Rop3(index, p.b, s.b, d[0]);
      d[1] = Rop3(index, p.g, s.g, d[1]);
      d[2] = Rop3(index, p.r, s.r, d[2]);
      d[3] = 0xFF;
    }
  }
}

// ---- Paths -----------------------------------------------------------------

void MetafileCanvas::BeginPath() {
  path_.clear();
  inPath_ = true;
  figureOpen_ = false;
}

void MetafileCanvas::AbortPath() {
  path_.clear();
  inPath_ = false;
  figureOpen_ = false;
}

void MetafileCanvas::CloseFigure() {
  if (inPath_ && figureOpen_ && !path_.empty()) path_.back().closed = true;
  figureOpen_ = false;
}

void MetafileCanvas::FillPath(bool fill, bool stroke) {
  inPath_ = false;
  if (fill) FillFigures(path_);
  if (stroke)
    for (const Figure& f : path_) StrokeFigure(f);
  path_.clear();
  figureOpen_ = false;
}

// Clipping to a path is approximated by its bounding box: nothing that
// should show is hidden.
void MetafileCanvas::ClipToPath() {
  inPath_ = false;
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  for (const Figure& f : path_)
    for (const PointD& p : f.points) {
      x0 = std::min(x0, p.x);
      y0 = std::min(y0, p.y);
      x1 = std::max(x1, p.x);
      y1 = std::max(y1, p.y);
    }
  path_.clear();
  figureOpen_ = false;
  if (x0 > x1) return;
  state_.clipX0 = std::max(state_.clipX0, static_cast<int>(std::floor(x0)));
  state_.clipY0 = std::max(state_.clipY0, static_cast<int>(std::floor(y0)));
  state_.clipX1 = std::min(state_.clipX1, static_cast<int>(std::ceil(x1)));
  state_.clipY1 = std::min(state_.clipY1, static_cast<int>(std::ceil(y1)));
}

// Every write sets alpha to 255, as the white background did.
PLBitmap MetafileCanvas::Finish() { return std::move(bitmap_); }

// ---- Device-independent bitmaps --------------------------------------------

PLBitmap MetafileCanvas::DecodeDib(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                                   bool* bottomUp) {
  if (infoSize < 12) throw PLTextException("Metafile bitmap header is too short");
  uint32_t headerSize = GetU32LE(info);
  if (headerSize < 12 || headerSize > infoSize) throw PLTextException("Metafile bitmap header is invalid");
  bool core = headerSize == 12;
  int64_t width = core ? GetU16LE(info + 4) : static_cast<int32_t>(GetU32LE(info + 4));
  int64_t height = core ? static_cast<int16_t>(GetU16LE(info + 6)) : static_cast<int32_t>(GetU32LE(info + 8));
  if (bottomUp) *bottomUp = height > 0;
  // Decoding is cheap per pixel next to painting; a sixteenth keeps one big
  // photograph affordable and a thousand of them not.
  if (!Spend(std::llabs(width) * std::llabs(height) / 16 + 1))
    throw PLTextException("Metafile bitmap left out: too much work");
  // A BMP file image is the file header followed by the DIB.
  std::vector<uint8_t> file(14 + infoSize + bitsSize);
  file[0] = 'B';
  file[1] = 'M';
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, static_cast<uint32_t>(14 + infoSize));
  std::memcpy(file.data() + 14, info, infoSize);
  if (bitsSize) std::memcpy(file.data() + 14 + infoSize, bits, bitsSize);
  return PLDecodeBmp(file.data(), file.size());
}

PLBitmap MetafileCanvas::DecodePackedDib(const uint8_t* dib, size_t size, bool* bottomUp) {
  if (size < 12) throw PLTextException("Metafile bitmap header is too short");
  uint32_t headerSize = GetU32LE(dib);
  uint64_t colours = 0, extra = 0, entry = 4;
  if (headerSize == 12) {
    unsigned bitCount = GetU16LE(dib + 10);
    colours = bitCount <= 8 ? 1u << bitCount : 0;
    entry = 3;
  } else if (headerSize >= 40 && headerSize <= size) {
    unsigned bitCount = GetU16LE(dib + 14);
    uint32_t compression = GetU32LE(dib + 16), used = GetU32LE(dib + 32);
    colours = used ? used : bitCount <= 8 ? 1u << bitCount : 0;
    if (headerSize == 40 && compression == 3) extra = 12;  // BI_BITFIELDS masks
    if (headerSize == 40 && compression == 6) extra = 16;  // BI_ALPHABITFIELDS masks
  } else {
    throw PLTextException("Metafile bitmap header is invalid");
  }
  uint64_t infoSize = headerSize + colours * entry + extra;
  if (infoSize > size) throw PLTextException("Metafile bitmap is truncated");
  return DecodeDib(dib, static_cast<size_t>(infoSize), dib + infoSize, size - static_cast<size_t>(infoSize), bottomUp);
}

}  // namespace plown

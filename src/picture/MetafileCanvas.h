// The drawing surface shared by the WMF and EMF players: a device context
// state (mapping, pen, brush, clip, path) and a small rasteriser that fills
// polygons and strokes lines into a 32 bpp bitmap.
#pragma once

#include <memory>
#include <vector>

#include "picture/OwnDecodersInternal.h"

namespace plown {

struct PointD {
  double x = 0, y = 0;
};

enum MapMode { kMmText = 1, kMmLoMetric, kMmHiMetric, kMmLoEnglish, kMmHiEnglish, kMmTwips, kMmIsotropic, kMmAnisotropic };
constexpr int kPsNull = 5;
constexpr int kBsSolid = 0, kBsNull = 1, kBsHatched = 2;
constexpr int kAlternate = 1, kWinding = 2;

struct Pen {
  int style = 0;         // PS_* (low 4 bits); dashes are drawn solid
  double width = 0;      // logical units; 0 is one pixel
  bool cosmetic = false; // one pixel whatever the mapping
  PLPixel32 colour{0, 0, 0, 0};
};

struct Brush {
  int style = kBsSolid;  // hatched brushes are drawn solid
  PLPixel32 colour{255, 255, 255, 0};
  std::shared_ptr<const PLBitmap> pattern;  // set for pattern brushes
};

struct Xform {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
};

struct DcState {
  int mapMode = kMmText;
  double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
  double viewOrgX = 0, viewOrgY = 0, viewExtX = 1, viewExtY = 1;
  Xform world;
  Pen pen;
  Brush brush;
  PLPixel32 bkColour{255, 255, 255, 0};
  int fillMode = kAlternate;
  PointD position;  // current position, logical
  int clipX0 = 0, clipY0 = 0, clipX1 = 0, clipY1 = 0;  // output pixels, half-open
};

// COLORREF 0x00BBGGRR.
inline PLPixel32 ColourRef(uint32_t c) {
  return {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c), 0};
}

class MetafileCanvas {
 public:
  // The picture is width x height output pixels. Device coordinates map to
  // output pixels as (device - origin) * scale; dpi is the device's
  // resolution, used by the metric and English mapping modes.
  MetafileCanvas(int width, int height, double scale, double originX, double originY, double dpiX, double dpiY);

  DcState& State() { return state_; }
  void SaveDc();
  void RestoreDc(int which);

  // Mapping changes; zero extents are refused as GDI does.
  void SetWindowExt(double x, double y);
  void SetViewportExt(double x, double y);
  void SetWindowOrg(PointD p) { state_.windowOrgX = p.x, state_.windowOrgY = p.y; }
  void SetViewportOrg(PointD p) { state_.viewOrgX = p.x, state_.viewOrgY = p.y; }
  void OffsetWindowOrg(PointD d) { SetWindowOrg({state_.windowOrgX + d.x, state_.windowOrgY + d.y}); }
  void OffsetViewportOrg(PointD d) { SetViewportOrg({state_.viewOrgX + d.x, state_.viewOrgY + d.y}); }
  // Multiplies an extent by xNum / xDen and yNum / yDen.
  void ScaleWindowExt(double xNum, double xDen, double yNum, double yDen);
  void ScaleViewportExt(double xNum, double xDen, double yNum, double yDen);
  void IntersectClip(double left, double top, double right, double bottom);  // logical
  void SetClipDevice(double left, double top, double right, double bottom);  // device units
  void ResetClip();

  PointD ToOutput(PointD p) const;
  double OutputScale() const;  // output pixels per logical unit, on average

  // Drawing, in logical coordinates. Inside a path bracket the shapes go
  // into the path instead.
  void Polygon(const std::vector<PointD>& points);
  void PolyPolygon(const std::vector<std::vector<PointD>>& polygons);
  void Polyline(const std::vector<PointD>& points);
  void PolylineTo(const std::vector<PointD>& points);  // from the current position
  void PolyBezier(const std::vector<PointD>& points, bool fromCurrent);
  void MoveTo(PointD p);
  void LineTo(PointD p);
  void Rectangle(double l, double t, double r, double b);
  void RoundRect(double l, double t, double r, double b, double cornerWidth, double cornerHeight);
  void Ellipse(double l, double t, double r, double b);
  enum class ArcKind { kArc, kChord, kPie, kArcTo };
  void Arc(ArcKind kind, double l, double t, double r, double b, PointD start, PointD end);
  void SetPixel(PointD p, PLPixel32 colour);

  // Copies src[sx, sy, sw, sh) (top-down pixel rows) into the logical
  // rectangle with a ternary raster operation; src may be null for
  // operations that use only the pattern and the destination.
  void Blit(double x, double y, double w, double h, const PLBitmap* src, int sx, int sy, int sw, int sh, uint32_t rop);

  void BeginPath();
  void EndPath() { inPath_ = false; }
  void AbortPath();
  void CloseFigure();
  void FillPath(bool fill, bool stroke);
  void ClipToPath();

  // The picture, opaque.
  PLBitmap Finish();

  // Decodes a device-independent bitmap (header, colours, bits) through the
  // BMP decoder; bottomUp tells how the source rows are numbered. Its pixels
  // count against the work budget; a bitmap beyond it is refused.
  PLBitmap DecodeDib(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize, bool* bottomUp);
  // A packed DIB: header, colours and bits in one block.
  PLBitmap DecodePackedDib(const uint8_t* dib, size_t size, bool* bottomUp);

 private:
  struct Figure {
    std::vector<PointD> points;  // output pixels
    bool closed = false;
  };
  std::vector<PointD> ToOutput(const std::vector<PointD>& points);
  void Shape(const std::vector<PointD>& logical, bool fill);
  void FillFigures(const std::vector<Figure>& figures);
  void StrokeFigure(const Figure& figure);
  void ThinLine(PointD a, PointD b, PLPixel32 colour);
  void FillPolygons(const std::vector<const std::vector<PointD>*>& polygons, int fillMode, const Brush& brush);
  void Span(int y, int x0, int x1, const Brush& brush);
  bool Spend(int64_t work);
  static std::vector<PointD> EllipsePoints(double cx, double cy, double rx, double ry, double from, double sweep,
                                           int segments);
  int Segments(double rx, double ry, double sweep) const;

  PLBitmap bitmap_;
  double scale_, originX_, originY_, dpiX_, dpiY_;
  DcState state_;
  std::vector<DcState> saved_;
  bool inPath_ = false;
  std::vector<Figure> path_;
  bool figureOpen_ = false;  // the last path figure takes LineTo points
  int64_t budget_;
};


}  // namespace plown

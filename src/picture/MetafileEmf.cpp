// Enhanced metafiles (EMF) played into a bitmap.
#include <cmath>

#include "picture/MetafileCanvas.h"

using namespace plown;

namespace {

constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr size_t kMinHeader = 88;
constexpr size_t kMaxHandles = 65536;
constexpr double kScreenDpi = 96;

bool HeaderOk(const uint8_t* data, size_t size) {
  if (size < kMinHeader || GetU32LE(data) != 1) return false;
  uint32_t headerSize = GetU32LE(data + 4);
  return headerSize >= kMinHeader && headerSize <= size && GetU32LE(data + 40) == kEmfSignature;
}

struct EmfObject {
  enum Kind { kEmpty, kPen, kBrush, kOther } kind = kEmpty;
  Pen pen;
  Brush brush;
};

Xform Multiply(const Xform& a, const Xform& b) {  // a applied first, then b
  return {a.m11 * b.m11 + a.m12 * b.m21, a.m11 * b.m12 + a.m12 * b.m22, a.m21 * b.m11 + a.m22 * b.m21,
          a.m21 * b.m12 + a.m22 * b.m22, a.dx * b.m11 + a.dy * b.m21 + b.dx, a.dx * b.m12 + a.dy * b.m22 + b.dy};
}

class EmfPlayer {
 public:
  EmfPlayer(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  PLBitmap Play() {
    if (!HeaderOk(data_, size_)) throw PLTextException("Not a valid EMF file");
    auto i32 = [&](size_t at) { return static_cast<int32_t>(GetU32LE(data_ + at)); };
    double dpiX = 96, dpiY = 96;
    int32_t devX = i32(72), devY = i32(76), mmX = i32(80), mmY = i32(84);
    if (devX > 0 && devY > 0 && mmX > 0 && mmY > 0) {
      dpiX = devX * 25.4 / mmX;
      dpiY = devY * 25.4 / mmY;
    }
    // The frame (hundredths of millimetres) is the picture's own size:
    // shown at 96 pixels per inch, as a WMF's, whatever device the file was
    // recorded for. Without a frame the bounds (inclusive pixels of that
    // device) give it.
    double left, top, width, height;  // of the picture, in device pixels
    const double frameW = static_cast<double>(i32(32)) - i32(24), frameH = static_cast<double>(i32(36)) - i32(28);
    if (frameW > 0 && frameH > 0) {
      left = i32(24) * dpiX / 2540;
      top = i32(28) * dpiY / 2540;
      width = frameW * dpiX / 2540;
      height = frameH * dpiY / 2540;
    } else {
      left = i32(8);
      top = i32(12);
      width = static_cast<double>(i32(16)) - left + 1;
      height = static_cast<double>(i32(20)) - top + 1;
    }
    if (!(width >= 0.5 && height >= 0.5)) throw PLTextException("EMF file has an empty picture frame");
    const double shownW = width * kScreenDpi / dpiX, shownH = height * kScreenDpi / dpiY;
    const double cap = std::min(1.0, kPLMaxMetafileSide / std::max(shownW, shownH));
    const double scale = kScreenDpi / dpiX * cap;
    int outW = std::max(1, static_cast<int>(std::lround(shownW * cap)));
    int outH = std::max(1, static_cast<int>(std::lround(shownH * cap)));
    canvas_ = std::make_unique<MetafileCanvas>(outW, outH, scale, left, top, dpiX, dpiY);
    objects_.resize(std::max<size_t>(1, GetU16LE(data_ + 56)));

    size_t pos = 0;
    while (size_ - pos >= 8) {
      uint32_t type = GetU32LE(data_ + pos), recordSize = GetU32LE(data_ + pos + 4);
      if (recordSize < 8) throw PLTextException("EMF file has a record of invalid size");
      if (recordSize > size_ - pos) throw PLTextException("EMF file is truncated");
      if (type == 14) break;  // EMR_EOF
      ByteReader r(data_ + pos, recordSize, "EMF");
      r.Skip(8);
      Record(type, r);
      pos += recordSize;
    }
    return canvas_->Finish();
  }

 private:
  static PointD PointL(ByteReader& r) {
    double x = r.I32LE();
    return {x, static_cast<double>(r.I32LE())};
  }
  static PointD PointS(ByteReader& r) {
    double x = r.I16LE();
    return {x, static_cast<double>(r.I16LE())};
  }
  static std::vector<PointD> Points(ByteReader& r, uint64_t count, bool shortPoints) {
    if (count * (shortPoints ? 4 : 8) > r.Left()) r.Truncated();
    std::vector<PointD> points(static_cast<size_t>(count));
    for (auto& p : points) p = shortPoints ? PointS(r) : PointL(r);
    return points;
  }
  struct Box {
    double l, t, r, b;
  };
  static Box ReadBox(ByteReader& r) {
    Box box;
    box.l = r.I32LE();
    box.t = r.I32LE();
    box.r = r.I32LE();
    box.b = r.I32LE();
    return box;
  }
  static Xform ReadXform(ByteReader& r) {
    Xform x;
    x.m11 = r.F32LE();
    x.m12 = r.F32LE();
    x.m21 = r.F32LE();
    x.m22 = r.F32LE();
    x.dx = r.F32LE();
    x.dy = r.F32LE();
    return x;
  }

  EmfObject* Slot(uint32_t index) {
    if (index == 0 || index >= kMaxHandles) return nullptr;  // 0 is the metafile itself
    if (index >= objects_.size()) objects_.resize(index + 1);
    return &objects_[index];
  }

  static EmfObject StockObject(uint32_t index) {
    EmfObject o;
    auto grey = [](uint8_t v) { return PLPixel32{v, v, v, 0}; };
    switch (index) {
      case 0: case 18: o.kind = EmfObject::kBrush; o.brush.colour = grey(255); break;
      case 1: o.kind = EmfObject::kBrush; o.brush.colour = grey(192); break;
      case 2: o.kind = EmfObject::kBrush; o.brush.colour = grey(128); break;
      case 3: o.kind = EmfObject::kBrush; o.brush.colour = grey(64); break;
      case 4: o.kind = EmfObject::kBrush; o.brush.colour = grey(0); break;
      case 5: o.kind = EmfObject::kBrush; o.brush.style = kBsNull; break;
      case 6: o.kind = EmfObject::kPen; o.pen.colour = grey(255); break;
      case 7: case 19: o.kind = EmfObject::kPen; o.pen.colour = grey(0); break;
      case 8: o.kind = EmfObject::kPen; o.pen.style = kPsNull; break;
      default: o.kind = EmfObject::kOther;
    }
    return o;
  }

  // A DIB given by offsets from the start of the record.
  PLBitmap RecordDib(ByteReader& r, size_t offBmiAt, bool* bottomUp) {
    r.Seek(offBmiAt);
    uint64_t offBmi = r.U32LE(), cbBmi = r.U32LE(), offBits = r.U32LE(), cbBits = r.U32LE();
    if (offBmi + cbBmi > r.Size() || offBits + cbBits > r.Size())
      throw PLTextException("EMF file: a bitmap lies outside its record");
    return canvas_->DecodeDib(r.Data() + offBmi, cbBmi, r.Data() + offBits, cbBits, bottomUp);
  }

  void PatternBrush(ByteReader& r) {
    r.Seek(8);
    EmfObject* slot = Slot(r.U32LE());
    if (!slot) return;
    EmfObject o;
    o.kind = EmfObject::kBrush;
    o.brush.colour = {128, 128, 128, 0};  // if the pattern cannot be read
    try {
      auto pattern = std::make_shared<PLBitmap>(RecordDib(r, 16, nullptr));
      if (!pattern->IsEmpty()) o.brush.pattern = std::move(pattern);
    } catch (const PLTextException&) {
    }
    *slot = std::move(o);
  }

  void BitBlt(uint32_t type, ByteReader& r) {
    r.Seek(24);
    double x = r.I32LE(), y = r.I32LE(), w = 0, h = 0;
    uint32_t rop;
    int srcX = 0, srcY = 0, srcW, srcH;
    bool hasSource = true;
    PLBitmap dib;
    bool bottomUp = false;
    if (type == 81) {  // EMR_STRETCHDIBITS: source rectangle first, destination size last
      srcX = r.I32LE();
      srcY = r.I32LE();
      srcW = r.I32LE();
      srcH = r.I32LE();
      r.Seek(68);
      rop = r.U32LE();
      w = r.I32LE();
      h = r.I32LE();
    } else {  // EMR_BITBLT, EMR_STRETCHBLT
      w = r.I32LE();
      h = r.I32LE();
      rop = r.U32LE();
      srcX = r.I32LE();
      srcY = r.I32LE();
      r.Seek(88);
      hasSource = r.U32LE() != 0;  // cbBmiSrc
      srcW = static_cast<int>(w);
      srcH = static_cast<int>(h);
      if (type == 77 && hasSource) {
        r.Seek(100);
        srcW = r.I32LE();
        srcH = r.I32LE();
      }
    }
    if (!hasSource) {
      canvas_->Blit(x, y, w, h, nullptr, 0, 0, 0, 0, rop);
      return;
    }
    try {
      dib = RecordDib(r, type == 81 ? 48 : 84, &bottomUp);
    } catch (const PLTextException&) {
      return;  // a bitmap we cannot read leaves its place empty
    }
    // StretchDIBits counts source rows from the bottom of a bottom-up DIB.
    if (type == 81 && bottomUp) srcY = dib.Height() - srcY - srcH;
    canvas_->Blit(x, y, w, h, &dib, srcX, srcY, srcW, srcH, rop);
  }

  void Record(uint32_t type, ByteReader& r) {
    DcState& s = canvas_->State();
    switch (type) {
      case 2: case 3: case 4: case 5: case 6:
      case 85: case 86: case 87: case 88: case 89: {
        r.Skip(16);  // bounds
        bool shortPoints = type >= 85;
        std::vector<PointD> points = Points(r, r.U32LE(), shortPoints);
        switch (shortPoints ? type - 83 : type) {
          case 2: canvas_->PolyBezier(points, false); break;
          case 3: canvas_->Polygon(points); break;
          case 4: canvas_->Polyline(points); break;
          case 5: canvas_->PolyBezier(points, true); break;
          default: canvas_->PolylineTo(points); break;
        }
        break;
      }
      case 7: case 8: case 90: case 91: {
        r.Skip(16);
        bool shortPoints = type >= 90;
        uint32_t count = r.U32LE(), total = r.U32LE();
        if (uint64_t{count} * 4 > r.Left()) r.Truncated();
        std::vector<uint32_t> counts(count);
        uint64_t sum = 0;
        for (auto& c : counts) sum += c = r.U32LE();
        if (sum > total) r.Fail("polygon point counts do not add up");
        std::vector<std::vector<PointD>> polys;
        for (uint32_t c : counts) polys.push_back(Points(r, c, shortPoints));
        if (type == 8 || type == 91) {
          canvas_->PolyPolygon(polys);
        } else {
          for (const auto& p : polys) canvas_->Polyline(p);
        }
        break;
      }
      case 9:
      case 11: {
        PointD p = PointL(r);
        type == 9 ? canvas_->SetWindowExt(p.x, p.y) : canvas_->SetViewportExt(p.x, p.y);
        break;
      }
      case 10: canvas_->SetWindowOrg(PointL(r)); break;
      case 12: canvas_->SetViewportOrg(PointL(r)); break;
      case 15: {
        PointD p = PointL(r);
        canvas_->SetPixel(p, ColourRef(r.U32LE()));
        break;
      }
      case 17: {
        uint32_t mode = r.U32LE();
        if (mode >= kMmText && mode <= kMmAnisotropic) s.mapMode = static_cast<int>(mode);
        break;
      }
      case 19: s.fillMode = r.U32LE() == kWinding ? kWinding : kAlternate; break;
      case 25: s.bkColour = ColourRef(r.U32LE()); break;
      case 27: canvas_->MoveTo(PointL(r)); break;
      case 54: canvas_->LineTo(PointL(r)); break;
      case 30: {
        Box b = ReadBox(r);
        canvas_->IntersectClip(b.l, b.t, b.r, b.b);
        break;
      }
      case 31:
      case 32: {
        double xNum = r.I32LE(), xDen = r.I32LE(), yNum = r.I32LE(), yDen = r.I32LE();
        type == 32 ? canvas_->ScaleWindowExt(xNum, xDen, yNum, yDen) : canvas_->ScaleViewportExt(xNum, xDen, yNum, yDen);
        break;
      }
      case 33: canvas_->SaveDc(); break;
      case 34: canvas_->RestoreDc(r.I32LE()); break;
      case 35: s.world = ReadXform(r); break;
      case 36: {
        Xform x = ReadXform(r);
        switch (r.U32LE()) {
          case 1: s.world = Xform{}; break;
          case 2: s.world = Multiply(x, s.world); break;
          case 3: s.world = Multiply(s.world, x); break;
          case 4: s.world = x; break;
          default: break;
        }
        break;
      }
      case 37: {
        uint32_t index = r.U32LE();
        EmfObject stock;
        const EmfObject* o = nullptr;
        if (index & 0x80000000u) {
          stock = StockObject(index & 0x7FFFFFFF);
          o = &stock;
        } else if (index < objects_.size()) {
          o = &objects_[index];
        }
        if (o && o->kind == EmfObject::kPen) s.pen = o->pen;
        if (o && o->kind == EmfObject::kBrush) s.brush = o->brush;
        break;
      }
      case 38: {
        EmfObject* slot = Slot(r.U32LE());
        if (!slot) break;
        EmfObject o;
        o.kind = EmfObject::kPen;
        o.pen.style = static_cast<int>(r.U32LE() & 0x0F);
        o.pen.width = std::fabs(static_cast<double>(r.I32LE()));
        r.Skip(4);
        o.pen.colour = ColourRef(r.U32LE());
        *slot = o;
        break;
      }
      case 95: {  // EMR_EXTCREATEPEN
        EmfObject* slot = Slot(r.U32LE());
        if (!slot) break;
        r.Skip(16);  // pattern bitmap offsets
        EmfObject o;
        o.kind = EmfObject::kPen;
        uint32_t style = r.U32LE();
        o.pen.style = static_cast<int>(style & 0x0F);
        o.pen.cosmetic = (style & 0x00010000) == 0;  // PS_GEOMETRIC pens scale with the mapping
        o.pen.width = r.U32LE();
        if (r.U32LE() == kBsNull) o.pen.style = kPsNull;
        o.pen.colour = ColourRef(r.U32LE());
        *slot = o;
        break;
      }
      case 39: {
        EmfObject* slot = Slot(r.U32LE());
        if (!slot) break;
        EmfObject o;
        o.kind = EmfObject::kBrush;
        o.brush.style = r.U32LE() == kBsNull ? kBsNull : kBsSolid;  // hatches and others drawn solid
        o.brush.colour = ColourRef(r.U32LE());
        *slot = o;
        break;
      }
      case 93:
      case 94: PatternBrush(r); break;
      case 40: {
        uint32_t index = r.U32LE();
        if (index < objects_.size()) objects_[index] = EmfObject{};
        break;
      }
      case 42: {
        Box b = ReadBox(r);
        canvas_->Ellipse(b.l, b.t, b.r, b.b);
        break;
      }
      case 43: {
        Box b = ReadBox(r);
        canvas_->Rectangle(b.l, b.t, b.r, b.b);
        break;
      }
      case 44: {
        Box b = ReadBox(r);
        PointD corner = PointL(r);
        canvas_->RoundRect(b.l, b.t, b.r, b.b, corner.x, corner.y);
        break;
      }
      case 45: case 46: case 47: case 55: {
        Box b = ReadBox(r);
        PointD start = PointL(r), end = PointL(r);
        auto kind = type == 45   ? MetafileCanvas::ArcKind::kArc
                    : type == 46 ? MetafileCanvas::ArcKind::kChord
                    : type == 47 ? MetafileCanvas::ArcKind::kPie
                                 : MetafileCanvas::ArcKind::kArcTo;
        canvas_->Arc(kind, b.l, b.t, b.r, b.b, start, end);
        break;
      }
      case 59: canvas_->BeginPath(); break;
      case 60: canvas_->EndPath(); break;
      case 61: canvas_->CloseFigure(); break;
      case 62: canvas_->FillPath(true, false); break;
      case 63: canvas_->FillPath(true, true); break;
      case 64: canvas_->FillPath(false, true); break;
      case 67: canvas_->ClipToPath(); break;
      case 68: canvas_->AbortPath(); break;
      case 75: {  // EMR_EXTSELECTCLIPRGN: only copies are followed, by their bounding box
        uint32_t dataSize = r.U32LE(), mode = r.U32LE();
        if (mode != 5) break;
        if (dataSize == 0) {
          canvas_->ResetClip();
        } else {
          r.Skip(16);  // region header: size, type, count, buffer size
          Box b = ReadBox(r);
          canvas_->SetClipDevice(b.l, b.t, b.r, b.b);
        }
        break;
      }
      case 76:
      case 77:
      case 81: BitBlt(type, r); break;
      default: break;  // text, palettes, regions and comments are not drawn
    }
  }

  const uint8_t* data_;
  size_t size_;
  std::unique_ptr<MetafileCanvas> canvas_;
  std::vector<EmfObject> objects_;
};

}  // namespace

bool PLIsEmf(const uint8_t* data, size_t size) { return HeaderOk(data, size); }

PLBitmap PLDecodeEmf(const uint8_t* data, size_t size) { return EmfPlayer(data, size).Play(); }

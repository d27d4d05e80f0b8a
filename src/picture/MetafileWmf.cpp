// Windows metafiles (WMF), placeable or plain, played into a bitmap.
#include <cmath>
#include <functional>

#include "picture/MetafileCanvas.h"

using namespace plown;

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableSize = 22, kHeaderSize = 18;
constexpr double kScreenDpi = 96;

bool PlainHeader(const uint8_t* p, size_t size) {
  if (size < kHeaderSize) return false;
  uint16_t type = GetU16LE(p), headerWords = GetU16LE(p + 2), version = GetU16LE(p + 4);
  return (type == 1 || type == 2) && headerWords == 9 && (version == 0x0100 || version == 0x0300);
}

struct WmfObject {
  enum Kind { kEmpty, kPen, kBrush, kOther } kind = kEmpty;
  Pen pen;
  Brush brush;
};

class WmfPlayer {
 public:
  WmfPlayer(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  PLBitmap Play() {
    bool placeable = size_ >= kPlaceableSize && GetU32LE(data_) == kPlaceableKey;
    size_t start = placeable ? kPlaceableSize : 0;
    if (!PlainHeader(data_ + start, size_ - start)) throw PLTextException("Not a valid WMF file");
    recordsStart_ = start + kHeaderSize;
    objects_.resize(GetU16LE(data_ + start + 10));

    double orgX = 0, orgY = 0, extX = 0, extY = 0;
    if (placeable) {
      auto i16 = [&](size_t at) { return static_cast<int16_t>(GetU16LE(data_ + at)); };
      unsigned inch = GetU16LE(data_ + 14);
      if (inch == 0) throw PLTextException("WMF file: placeable header gives no resolution");
      orgX = i16(6);
      orgY = i16(8);
      extX = i16(10) - orgX;
      extY = i16(12) - orgY;
      width_ = std::fabs(extX) * kScreenDpi / inch;
      height_ = std::fabs(extY) * kScreenDpi / inch;
    } else {
      // A plain metafile's size is its window: the first origin and extent it sets.
      bool haveOrg = false;
      ForEachRecord([&](unsigned function, ByteReader& r) {
        if (function == 0x020B && !haveOrg && r.Left() >= 4) {
          orgY = r.I16LE();
          orgX = r.I16LE();
          haveOrg = true;
        } else if (function == 0x020C && extX == 0 && r.Left() >= 4) {
          extY = r.I16LE();
          extX = r.I16LE();
        }
        return true;
      });
      if (extX == 0 || extY == 0) throw PLTextException("WMF file does not give its picture size");
      width_ = std::fabs(extX);
      height_ = std::fabs(extY);
    }
    if (width_ < 0.5 || height_ < 0.5) throw PLTextException("WMF file has an empty picture frame");
    double scale = std::min(1.0, kPLMaxMetafileSide / std::max(width_, height_));
    int outW = std::max(1, static_cast<int>(std::lround(width_ * scale)));
    int outH = std::max(1, static_cast<int>(std::lround(height_ * scale)));
    canvas_ = std::make_unique<MetafileCanvas>(outW, outH, scale, 0, 0, kScreenDpi, kScreenDpi);
    DcState& s = canvas_->State();
    s.mapMode = kMmAnisotropic;
    s.windowOrgX = orgX;
    s.windowOrgY = orgY;
    canvas_->SetWindowExt(extX, extY);
    canvas_->SetViewportExt(width_, height_);

    ForEachRecord([&](unsigned function, ByteReader& r) { return Record(function, r); });
    return canvas_->Finish();
  }

 private:
  // Calls f(function, parameters) for each record until the end record or
  // f returns false; a record that does not fit the file is an error.
  void ForEachRecord(const std::function<bool(unsigned, ByteReader&)>& f) {
    size_t pos = recordsStart_;
    while (size_ - pos >= 6) {
      uint64_t bytes = uint64_t{GetU32LE(data_ + pos)} * 2;
      unsigned function = GetU16LE(data_ + pos + 4);
      if (bytes < 6) throw PLTextException("WMF file has a record of invalid size");
      if (bytes > size_ - pos) throw PLTextException("WMF file is truncated");
      if (function == 0) return;
      ByteReader r(data_ + pos + 6, static_cast<size_t>(bytes) - 6, "WMF");
      recordWords_ = bytes / 2;
      if (!f(function, r)) return;
      pos += static_cast<size_t>(bytes);
    }
  }

  static PointD Point(ByteReader& r) {
    double x = r.I16LE();
    return {x, static_cast<double>(r.I16LE())};
  }
  // (y, x) order, as most records store their coordinates.
  static PointD PointYX(ByteReader& r) {
    double y = r.I16LE();
    return {static_cast<double>(r.I16LE()), y};
  }
  static std::vector<PointD> Points(ByteReader& r, size_t count) {
    if (count * 4 > r.Left()) r.Truncated();
    std::vector<PointD> points(count);
    for (auto& p : points) p = Point(r);
    return points;
  }
  struct Box {
    double l, t, r, b;
  };
  static Box ReadBox(ByteReader& r) {  // stored bottom, right, top, left
    Box box;
    box.b = r.I16LE();
    box.r = r.I16LE();
    box.t = r.I16LE();
    box.l = r.I16LE();
    return box;
  }

  void AddObject(WmfObject object) {
    for (auto& slot : objects_)
      if (slot.kind == WmfObject::kEmpty) {
        slot = std::move(object);
        return;
      }
    if (objects_.size() < 65535) objects_.push_back(std::move(object));
  }

  WmfObject PatternBrush(ByteReader& r) {
    WmfObject o;
    o.kind = WmfObject::kBrush;
    o.brush.colour = {128, 128, 128, 0};  // if the pattern cannot be read
    try {
      auto pattern = std::make_shared<PLBitmap>(canvas_->DecodePackedDib(r.Here(), r.Left(), nullptr));
      if (!pattern->IsEmpty()) o.brush.pattern = std::move(pattern);
    } catch (const PLTextException&) {
    }
    return o;
  }

  // StretchDIB and the DIB raster operations: the bitmap follows the fields.
  void DibBlit(unsigned function, ByteReader& r) {
    uint32_t rop = r.U32LE();
    bool hasBitmap = recordWords_ != (function >> 8) + 3u;
    int srcX, srcY, srcW = 0, srcH = 0;
    double dstX, dstY, dstW, dstH;
    if (function == 0x0940) {  // DIBBitBlt: no stretching
      srcY = r.I16LE();
      srcX = r.I16LE();
      if (!hasBitmap) r.Skip(2);
      dstH = r.I16LE();
      dstW = r.I16LE();
      srcW = static_cast<int>(dstW);
      srcH = static_cast<int>(dstH);
    } else {
      if (function == 0x0F43) r.Skip(2);  // colour usage
      srcH = r.I16LE();
      srcW = r.I16LE();
      srcY = r.I16LE();
      srcX = r.I16LE();
      if (!hasBitmap && function != 0x0F43) r.Skip(2);
      dstH = r.I16LE();
      dstW = r.I16LE();
    }
    dstY = r.I16LE();
    dstX = r.I16LE();
    if (!hasBitmap) {
      canvas_->Blit(dstX, dstY, dstW, dstH, nullptr, 0, 0, 0, 0, rop);
      return;
    }
    bool bottomUp = false;
    PLBitmap dib;
    try {
      dib = canvas_->DecodePackedDib(r.Here(), r.Left(), &bottomUp);
    } catch (const PLTextException&) {
      return;  // a bitmap we cannot read leaves its place empty; the rest still draws
    }
    // StretchDIB counts source rows from the bottom of a bottom-up DIB.
    if (function == 0x0F43 && bottomUp) srcY = dib.Height() - srcY - srcH;
    canvas_->Blit(dstX, dstY, dstW, dstH, &dib, srcX, srcY, srcW, srcH, rop);
  }

  bool Record(unsigned function, ByteReader& r) {
    DcState& s = canvas_->State();
    switch (function) {
      case 0x0201: s.bkColour = ColourRef(r.U32LE()); break;
      case 0x0103: {
        unsigned mode = r.U16LE();
        if (mode >= kMmText && mode <= kMmAnisotropic) s.mapMode = static_cast<int>(mode);
        break;
      }
      case 0x0106: s.fillMode = r.U16LE() == kWinding ? kWinding : kAlternate; break;
      case 0x020B: canvas_->SetWindowOrg(PointYX(r)); break;
      case 0x020D: canvas_->SetViewportOrg(PointYX(r)); break;
      case 0x020F: canvas_->OffsetWindowOrg(PointYX(r)); break;
      case 0x0211: canvas_->OffsetViewportOrg(PointYX(r)); break;
      case 0x020C:
      case 0x020E: {
        PointD p = PointYX(r);
        function == 0x020C ? canvas_->SetWindowExt(p.x, p.y) : canvas_->SetViewportExt(p.x, p.y);
        break;
      }
      case 0x0410:
      case 0x0412: {
        double yDen = r.I16LE(), yNum = r.I16LE(), xDen = r.I16LE(), xNum = r.I16LE();
        function == 0x0410 ? canvas_->ScaleWindowExt(xNum, xDen, yNum, yDen)
                           : canvas_->ScaleViewportExt(xNum, xDen, yNum, yDen);
        break;
      }
      case 0x0214: canvas_->MoveTo(PointYX(r)); break;
      case 0x0213: canvas_->LineTo(PointYX(r)); break;
      case 0x0324: canvas_->Polygon(Points(r, r.U16LE())); break;
      case 0x0325: canvas_->Polyline(Points(r, r.U16LE())); break;
      case 0x0538: {
        unsigned count = r.U16LE();
        if (count * 2u > r.Left()) r.Truncated();
        std::vector<unsigned> counts(count);
        for (auto& c : counts) c = r.U16LE();
        std::vector<std::vector<PointD>> polygons;
        for (unsigned c : counts) polygons.push_back(Points(r, c));
        canvas_->PolyPolygon(polygons);
        break;
      }
      case 0x041B: {
        Box b = ReadBox(r);
        canvas_->Rectangle(b.l, b.t, b.r, b.b);
        break;
      }
      case 0x061C: {
        double h = r.I16LE(), w = r.I16LE();
        Box b = ReadBox(r);
        canvas_->RoundRect(b.l, b.t, b.r, b.b, w, h);
        break;
      }
      case 0x0418: {
        Box b = ReadBox(r);
        canvas_->Ellipse(b.l, b.t, b.r, b.b);
        break;
      }
      case 0x0817:
      case 0x081A:
      case 0x0830: {
        PointD end = PointYX(r), start = PointYX(r);
        Box b = ReadBox(r);
        auto kind = function == 0x0817   ? MetafileCanvas::ArcKind::kArc
                    : function == 0x081A ? MetafileCanvas::ArcKind::kPie
                                         : MetafileCanvas::ArcKind::kChord;
        canvas_->Arc(kind, b.l, b.t, b.r, b.b, start, end);
        break;
      }
      case 0x041F: {
        PLPixel32 c = ColourRef(r.U32LE());
        canvas_->SetPixel(PointYX(r), c);
        break;
      }
      case 0x02FA: {
        WmfObject o;
        o.kind = WmfObject::kPen;
        o.pen.style = r.U16LE();
        o.pen.width = std::abs(r.I16LE());
        r.Skip(2);
        o.pen.colour = ColourRef(r.U32LE());
        AddObject(o);
        break;
      }
      case 0x02FC: {
        WmfObject o;
        o.kind = WmfObject::kBrush;
        o.brush.style = r.U16LE();
        o.brush.colour = ColourRef(r.U32LE());
        if (o.brush.style != kBsNull) o.brush.style = kBsSolid;  // hatches and others drawn solid
        AddObject(o);
        break;
      }
      case 0x0142:
        r.Skip(4);  // style and colour usage
        AddObject(PatternBrush(r));
        break;
      case 0x01F9: {  // old-style pattern brushes: drawn grey
        WmfObject o;
        o.kind = WmfObject::kBrush;
        o.brush.colour = {128, 128, 128, 0};
        AddObject(o);
        break;
      }
      case 0x02FB:  // fonts, palettes and regions only take a slot
      case 0x00F7:
      case 0x06FF: {
        WmfObject o;
        o.kind = WmfObject::kOther;
        AddObject(o);
        break;
      }
      case 0x012D: {
        unsigned index = r.U16LE();
        if (index >= objects_.size()) break;
        if (objects_[index].kind == WmfObject::kPen) s.pen = objects_[index].pen;
        if (objects_[index].kind == WmfObject::kBrush) s.brush = objects_[index].brush;
        break;
      }
      case 0x01F0: {
        unsigned index = r.U16LE();
        if (index < objects_.size()) objects_[index] = WmfObject{};
        break;
      }
      case 0x001E: canvas_->SaveDc(); break;
      case 0x0127: canvas_->RestoreDc(r.I16LE()); break;
      case 0x0416: {
        Box b = ReadBox(r);
        canvas_->IntersectClip(b.l, b.t, b.r, b.b);
        break;
      }
      case 0x061D: {
        uint32_t rop = r.U32LE();
        double h = r.I16LE(), w = r.I16LE();
        PointD p = PointYX(r);
        canvas_->Blit(p.x, p.y, w, h, nullptr, 0, 0, 0, 0, rop);
        break;
      }
      case 0x0B41:
      case 0x0940:
      case 0x0F43: DibBlit(function, r); break;
      default: break;  // text, palettes, regions, escapes: not drawn
    }
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  size_t recordsStart_ = 0;
  uint64_t recordWords_ = 0;
  double width_ = 0, height_ = 0;
  std::unique_ptr<MetafileCanvas> canvas_;
  std::vector<WmfObject> objects_;
};

}  // namespace

bool PLIsWmf(const uint8_t* data, size_t size) {
  if (size >= kPlaceableSize && GetU32LE(data) == kPlaceableKey)
    return PlainHeader(data + kPlaceableSize, size - kPlaceableSize);
  return PlainHeader(data, size);
}

PLBitmap PLDecodeWmf(const uint8_t* data, size_t size) { return WmfPlayer(data, size).Play(); }

#include "ui/DibWnd.h"

#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "picture/Bitmap.h"

QImage ImageOfBitmap(const PLBitmap& bitmap) {
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
  for (int y = 0; y < bitmap.Height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x) {
      const PLPixel32 p = bitmap.GetPixel(x, y);
      line[x] = qRgb(p.r, p.g, p.b);
    }
  }
  return image;
}

CDIBWnd::CDIBWnd(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName(QStringLiteral("DIBWnd"));
  setFrameShape(QFrame::NoFrame);
  horizontalScrollBar()->setSingleStep(10);
  verticalScrollBar()->setSingleStep(10);
}

void CDIBWnd::SetThumbnail(const PLBitmap* bitmap) {
  image_ = bitmap && !bitmap->IsEmpty() ? ImageOfBitmap(*bitmap) : QImage();
  cleared_ = false;
  horizontalScrollBar()->setValue(0);
  verticalScrollBar()->setValue(0);
  UpdateScrollBars();
  viewport()->update();
}

void CDIBWnd::Clear() {
  image_ = QImage();
  cleared_ = true;
  UpdateScrollBars();
  viewport()->update();
}

void CDIBWnd::UpdateScrollBars() {
  const QSize client = viewport()->size();
  auto setup = [](QScrollBar* bar, int picture, int window) {
    // A page of the whole picture reaches either end, as the window scrolls.
    bar->setRange(0, std::max(0, picture - window));
    bar->setPageStep(std::max(1, picture));
  };
  setHorizontalScrollBarPolicy(!image_.isNull() && client.width() < image_.width() ? Qt::ScrollBarAlwaysOn
                                                                                    : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(!image_.isNull() && client.height() < image_.height() ? Qt::ScrollBarAlwaysOn
                                                                                    : Qt::ScrollBarAlwaysOff);
  setup(horizontalScrollBar(), image_.width(), client.width());
  setup(verticalScrollBar(), image_.height(), client.height());
}

void CDIBWnd::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void CDIBWnd::scrollContentsBy(int, int) { viewport()->update(); }

void CDIBWnd::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QRect client = viewport()->rect();
  if (cleared_ || image_.isNull()) {
    painter.fillRect(client, palette().color(QPalette::Button));
    return;
  }
  painter.fillRect(client, QColor(192, 192, 192));
  const QRect inner = client.adjusted(1, 1, -1, -1);
  if (inner.width() <= 0 || inner.height() <= 0) return;
  double factor = 1.0;
  if (image_.width() > inner.width() || image_.height() > inner.height())
    factor = 1.0 / std::max(double(image_.width()) / inner.width(), double(image_.height()) / inner.height());
  const int w = static_cast<int>(image_.width() * factor);
  const int h = static_cast<int>(image_.height() * factor);
  const QRect target(inner.left() + (inner.width() - w) / 2, inner.top() + (inner.height() - h) / 2, w, h);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, factor != 1.0);
  painter.drawImage(target, image_);
}

// CDIBWnd: the picture window beside a description. A thumbnail larger than
// the window is shown whole, scaled down and centred; a smaller one at its
// own size, centred on light grey. Scroll bars appear on an axis where the
// window is smaller than the thumbnail; they do not move the drawing.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>

class PLBitmap;

// A thumbnail as a 32-bit image (palettes resolved).
QImage ImageOfBitmap(const PLBitmap& bitmap);

class CDIBWnd : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit CDIBWnd(QWidget* parent = nullptr);
  // Shows a thumbnail (not owned; null shows nothing) and resets the scroll positions.
  void SetThumbnail(const PLBitmap* bitmap);
  // Fills the window with the button-face colour and forgets the picture.
  void Clear();
  const QImage& Image() const { return image_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void UpdateScrollBars();
  QImage image_;
  bool cleared_ = true;
};

#include "ui/MediaClipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "app/Document.h"

const QString kMediaMimeType = QStringLiteral("application/x-quolvane-data");

namespace {

struct WaitCursor {
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

void CopyMediaToClipboard(CQuolvaneDoc& doc) {
  if (!doc.CanCopyMedia()) return;
  WaitCursor wait;
  const std::vector<uint8_t> bytes = doc.CopyMedia();
  auto* data = new QMimeData;
  data->setData(kMediaMimeType, QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
  QGuiApplication::clipboard()->setMimeData(data);
}

bool ClipboardOffersMedia() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasFormat(kMediaMimeType);
}

bool PasteMediaFromClipboard(CQuolvaneDoc& doc) {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasFormat(kMediaMimeType)) return false;
  WaitCursor wait;
  // A copy: the clipboard keeps its own bytes for the next paste.
  const QByteArray bytes = data->data(kMediaMimeType);
  return doc.PasteMedia(bytes.constData(), static_cast<size_t>(bytes.size()));
}

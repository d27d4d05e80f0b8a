#include "ui/DescriptionPane.h"

#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QTabWidget>

#include "app/Document.h"
#include "app/Settings.h"
#include "query/Panes.h"
#include "ui/DialogSupport.h"
#include "ui/DibWnd.h"

namespace {

// The page lays out its two children itself: the text, and the picture strip
// when it is shown.
class DescriptionPage : public QWidget {
 public:
  using QWidget::QWidget;
  std::function<void()> onResize;

 protected:
  void resizeEvent(QResizeEvent*) override {
    if (onResize) onResize();
  }
};

}  // namespace

CInputView::CInputView(CQuolvaneDoc& doc, QWidget* parent) : QWidget(parent), doc_(doc) {
  tabs_ = new QTabWidget(this);
  auto* page = new DescriptionPage;
  page_ = page;
  // "Description" is the tab's own fixed text, not a message key.
  tabs_->addTab(page_, QStringLiteral("Description"));
  text_ = new QPlainTextEdit(page_);
  text_->setReadOnly(true);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text_->setAccessibleName(QStringLiteral("$$Description"));
  picture_ = new CDIBWnd(page_);
  picture_->setAccessibleName(QStringLiteral("$$Picture preview"));
  picture_->hide();
  page->onResize = [this] { Layout(); };
  setAccessibleName(QStringLiteral("$$Description"));
}

void CInputView::resizeEvent(QResizeEvent* event) {
  tabs_->setGeometry(rect());
  if (onShownChanged) onShownChanged(event->size().height() > 0);
  Layout();
}

void CInputView::Layout() {
  const QRect area = page_->rect();
  if (!pictureShown_) {
    text_->setGeometry(area);
    return;
  }
  const int strip = doc_.Settings().config.scanDescrWidth + 1;
  text_->setGeometry(area.left(), area.top(), std::max(0, area.width() - strip), area.height());
  picture_->setGeometry(area.right() + 1 - strip, area.top(), strip, area.height());
}

void CInputView::SetPictureShown(bool shown) {
  if (shown == pictureShown_) return;
  pictureShown_ = shown;
  picture_->setVisible(shown);
  Layout();
}

void CInputView::Show(long index) {
  const CFileItemList& list = doc_.list;
  if (index < 0 || static_cast<size_t>(index) >= list.size()) {
    text_->clear();
    SetPictureShown(false);
    return;
  }
  const CFileItem& item = *list[static_cast<size_t>(index)];
  text_->setPlainText(FromStored(item.description));
  picture_->Clear();
  if (const PLBitmap* thumbnail = ShownThumbnail(list, index)) {
    SetPictureShown(true);
    picture_->SetThumbnail(thumbnail);
    return;
  }
  SetPictureShown(false);
}

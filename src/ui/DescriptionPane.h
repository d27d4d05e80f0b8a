// CInputView: the description pane under the file list. A read-only text of
// the item's description and, for a file whose medium is present, its
// thumbnail in a strip of ScanDescrWidth + 1 pixels at the right.
#pragma once

#include <QWidget>
#include <functional>

class QPlainTextEdit;
class QTabWidget;
class CDIBWnd;
class CQuolvaneDoc;

class CInputView : public QWidget {
  Q_OBJECT
 public:
  CInputView(CQuolvaneDoc& doc, QWidget* parent = nullptr);
  // Shows the item at this catalog index; -1 empties the pane.
  void Show(long index);
  // Called on every layout with whether the pane has any height.
  std::function<void(bool shown)> onShownChanged;

  QPlainTextEdit* Text() const { return text_; }
  CDIBWnd* Picture() const { return picture_; }
  bool PictureShown() const { return pictureShown_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Layout();
  void SetPictureShown(bool shown);

  CQuolvaneDoc& doc_;
  QTabWidget* tabs_;
  QWidget* page_;
  QPlainTextEdit* text_;
  CDIBWnd* picture_;
  bool pictureShown_ = false;
};

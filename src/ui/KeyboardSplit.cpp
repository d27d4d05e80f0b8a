#include "ui/KeyboardSplit.h"

#include <QApplication>
#include <algorithm>
#include <QKeyEvent>
#include <QPointer>
#include <QSplitter>

namespace {

constexpr int kStep = 8;  // pixels per key press

class KeyboardSplit : public QObject {
 public:
  KeyboardSplit(QSplitter* horizontal, QSplitter* vertical)
      : horizontal_(horizontal), vertical_(vertical), savedH_(horizontal->sizes()), savedV_(vertical->sizes()) {
    qApp->installEventFilter(this);
    QApplication::setOverrideCursor(Qt::SizeAllCursor);
  }
  ~KeyboardSplit() override { QApplication::restoreOverrideCursor(); }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress: {
        switch (static_cast<QKeyEvent*>(event)->key()) {
          case Qt::Key_Left: Move(horizontal_, -kStep); break;
          case Qt::Key_Right: Move(horizontal_, kStep); break;
          case Qt::Key_Up: Move(vertical_, -kStep); break;
          case Qt::Key_Down: Move(vertical_, kStep); break;
          case Qt::Key_Return:
          case Qt::Key_Enter: Finish(false); break;
          case Qt::Key_Escape: Finish(true); break;
          default: break;
        }
        return true;  // no key reaches the panes meanwhile
      }
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride: return true;
      case QEvent::MouseButtonPress: Finish(false); return false;
      default: return false;
    }
  }

 private:
  // The first pane grows by delta at the expense of the second.
  static void Move(QSplitter* splitter, int delta) {
    if (!splitter) return;
    QList<int> sizes = splitter->sizes();
    if (sizes.size() < 2) return;
    const int total = sizes[0] + sizes[1];
    sizes[0] = std::clamp(sizes[0] + delta, 0, total);
    sizes[1] = total - sizes[0];
    splitter->setSizes(sizes);
  }
  void Finish(bool restore) {
    if (restore) {
      if (horizontal_) horizontal_->setSizes(savedH_);
      if (vertical_) vertical_->setSizes(savedV_);
    }
    qApp->removeEventFilter(this);
    deleteLater();
    active_ = nullptr;
  }

  QPointer<QSplitter> horizontal_, vertical_;
  QList<int> savedH_, savedV_;

 public:
  static QPointer<KeyboardSplit> active_;
};

QPointer<KeyboardSplit> KeyboardSplit::active_;

}  // namespace

void StartKeyboardSplit(QSplitter* horizontal, QSplitter* vertical) {
  if (KeyboardSplit::active_ || !horizontal || !vertical) return;
  KeyboardSplit::active_ = new KeyboardSplit(horizontal, vertical);
}

bool KeyboardSplitActive() { return !KeyboardSplit::active_.isNull(); }

#include "ui/DuplicatesDialog.h"

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>

#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "ports/ProgressSink.h"
#include "ports/UiPort.h"
#include "query/Duplicates.h"
#include "query/SearchSession.h"
#include "scan/MediaPaths.h"
#include "text/Codepage.h"
#include "ui/DialogSupport.h"
#include "ui/Translate.h"
#include "ui_DuplicatesDialog.h"

namespace {

constexpr int kIndexRole = Qt::UserRole + 1;

// The content reads on the dialog's bar, with Stop; each step lets the
// window system breathe so that the Stop button is seen.
class StoppableBar : public IProgressSink {
 public:
  StoppableBar(QProgressBar* bar, QPushButton* stop) : bar_(bar), stop_(stop) {
    QObject::connect(stop_, &QPushButton::clicked, stop_, [this] { stopped_ = true; });
  }
  void Begin(const std::string&) override {
    stopped_ = false;
    bar_->setValue(0);
    bar_->setVisible(true);
    stop_->setVisible(true);
  }
  void SetPercent(int percent) override {
    bar_->setValue(percent);
    QApplication::processEvents();
  }
  void End() override {
    bar_->setVisible(false);
    stop_->setVisible(false);
  }
  bool StopRequested() override {
    QApplication::processEvents();
    return stopped_;
  }

 private:
  QProgressBar* bar_;
  QPushButton* stop_;
  bool stopped_ = false;
};

QRect g_lastGeometry;

}  // namespace

std::optional<size_t> RunDuplicatesDialog(QWidget* owner, const CFileItemList& list, long from, IUiPort& ui) {
  QDialog dialog(owner);
  Ui::DuplicatesDialog form;
  form.setupUi(&dialog);
  dialog.setObjectName(QStringLiteral("DuplicatesDialog"));
  TranslateWindow(&dialog);
  for (const char* key : kDuplicateRuleKeys) form.rule->addItem(Tr(key));
  form.minSize->setText(QStringLiteral("0"));
  form.progress->setVisible(false);
  form.stop->setVisible(false);
  form.goTo->setEnabled(false);
  form.groups->header()->setStretchLastSection(false);
  form.groups->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  const long start = from >= 0 && static_cast<size_t>(from) < list.size() ? from : -1;
  if (start >= 0)
    dialog.setWindowTitle(dialog.windowTitle() + QStringLiteral(" - ") + QString::fromStdString(list[start]->name));
  const CItemPaths paths(list);
  StoppableBar progress(form.progress, form.stop);
  uint32_t lastMin = 0;

  QObject::connect(form.find, &QPushButton::clicked, &dialog, [&] {
    if (!ParseSizeField(form.minSize->text().toStdString(), lastMin)) {
      ui.MessageBox(SizeFieldError(), Translate("IDS_WARNING"), MB_ICONEXCLAMATION);
      form.minSize->setText(QString::number(lastMin));
      return;
    }
    DuplicateOptions o;
    o.rule = static_cast<DuplicateRule>(form.rule->currentIndex());
    o.minBytes = uint64_t(lastMin) * 1024;
    o.progress = &progress;
    // While files are read only Stop answers.
    QWidget* const busy[] = {form.find, form.rule, form.minSize, form.groups, form.goTo, form.exit};
    for (QWidget* w : busy) w->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const DuplicateResult r = FindDuplicates({{&list, start}}, o);
    QApplication::restoreOverrideCursor();
    for (QWidget* w : busy) w->setEnabled(w != form.goTo);
    form.groups->clear();
    // The tree gets every group at once: they are few beside the items.
    QList<QTreeWidgetItem*> top;
    for (const DuplicateGroup& g : r.groups) {
      auto* group = new QTreeWidgetItem;
      group->setText(0, QString::fromStdString(DisplayText(list[g.copies[0].index]->name)));
      group->setText(1, SpaceText(g.size));
      group->setText(2, QString::number(g.copies.size()));
      group->setText(3, SpaceText(g.Waste()));
      for (int c = 1; c <= 3; ++c) group->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
      for (const DuplicateCopy& c : g.copies) {
        auto* copy = new QTreeWidgetItem(group);
        copy->setText(0, QString::fromStdString(DisplayText(paths.Logical(c.index, true))));
        copy->setData(0, kIndexRole, QVariant::fromValue<qulonglong>(c.index));
      }
      top.append(group);
    }
    form.groups->addTopLevelItems(top);
    // The copies in sight at once, unless there are too many to read.
    if (top.size() <= 500) form.groups->expandAll();
    QString total = QString::fromStdString(FormatInserts(
        Translate("IDS_DUPLICATES_TOTAL"), {static_cast<long>(r.groups.size()), SpaceText(r.totalBytes).toStdString(),
                                            SpaceText(r.totalWaste).toStdString()}));
    if (r.unreadable)
      total += QStringLiteral(" ") + QString::fromStdString(FormatInserts(Translate("IDS_DUPLICATES_UNREADABLE"),
                                                                          {static_cast<long>(r.unreadable)}));
    if (r.stopped) total += QStringLiteral(" ") + Tr("IDS_DUPLICATES_STOPPED");
    form.total->setText(total);
    if (!r.groups.empty()) form.groups->setFocus();
  });
  QObject::connect(form.groups, &QTreeWidget::currentItemChanged, &dialog, [&](QTreeWidgetItem* current) {
    form.goTo->setEnabled(current && current->data(0, kIndexRole).isValid());
  });
  std::optional<size_t> chosen;
  auto goTo = [&] {
    QTreeWidgetItem* current = form.groups->currentItem();
    if (!current || !current->data(0, kIndexRole).isValid()) return;
    chosen = static_cast<size_t>(current->data(0, kIndexRole).toULongLong());
    dialog.accept();
  };
  QObject::connect(form.goTo, &QPushButton::clicked, &dialog, goTo);
  QObject::connect(form.groups, &QTreeWidget::itemDoubleClicked, &dialog, goTo);
  QObject::connect(form.exit, &QPushButton::clicked, &dialog, &QDialog::reject);

  dialog.resize(std::max(dialog.sizeHint().width(), 760), std::max(dialog.sizeHint().height(), 460));
  form.groups->setColumnWidth(1, 110);
  form.groups->setColumnWidth(2, 70);
  form.groups->setColumnWidth(3, 110);
  if (g_lastGeometry.isValid()) dialog.setGeometry(g_lastGeometry);
  dialog.exec();
  g_lastGeometry = dialog.geometry();
  return chosen;
}

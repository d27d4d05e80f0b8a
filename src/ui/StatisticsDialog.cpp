#include "ui/StatisticsDialog.h"

#include <QBarCategoryAxis>
#include <QHorizontalBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QPieSeries>
#include <QPushButton>
#include <QValueAxis>
#include <algorithm>

#include "catalog/FileItemList.h"
#include "i18n/Translator.h"
#include "query/Statistics.h"
#include "scan/MediaPaths.h"
#include "text/Codepage.h"
#include "ui/DialogSupport.h"
#include "ui/Translate.h"
#include "ui_StatisticsDialog.h"

namespace {

constexpr int kIndexRole = Qt::UserRole + 1;
// Beyond this many media the smallest share one slice.
constexpr int kMaxSlices = 8;

// The unit that keeps the largest value readable on an axis.
std::pair<double, QString> Unit(uint64_t largest) {
  if (largest >= (uint64_t(10) << 30)) return {double(1 << 30), Tr("$$Go")};
  if (largest >= (uint64_t(10) << 20)) return {double(1 << 20), Tr("$$Mo")};
  return {1024.0, Tr("$$Ko")};
}

QChartView* ViewOf(QChart* chart) {
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->setBackgroundRoundness(0);
  auto* view = new QChartView(chart);
  view->setRenderHint(QPainter::Antialiasing);
  view->setMinimumSize(340, 260);
  return view;
}

QChartView* KindChart(const CatalogStatistics& s) {
  uint64_t largest = 0;
  for (const SizeCount& k : s.byKind) largest = std::max(largest, k.bytes);
  const auto [divisor, unit] = Unit(largest);
  auto* set = new QBarSet(Tr("$$Size"));
  QStringList kinds;
  // The first kind on top: a lying chart draws its first category at the bottom.
  for (int k = KIND_COUNT; k-- > 0;) {
    *set << static_cast<double>(s.byKind[k].bytes) / divisor;
    kinds << Tr(kFileKindKeys[k]);
  }
  // Bars lie down so that the kinds' names read whole beside them.
  auto* series = new QHorizontalBarSeries;
  series->append(set);
  auto* chart = new QChart;
  chart->addSeries(series);
  auto* kindsAxis = new QBarCategoryAxis;
  kindsAxis->append(kinds);
  chart->addAxis(kindsAxis, Qt::AlignLeft);
  series->attachAxis(kindsAxis);
  auto* sizes = new QValueAxis;
  sizes->setTitleText(unit);
  sizes->setLabelFormat(QStringLiteral("%.0f"));
  sizes->setMin(0);
  sizes->setMax(std::max(1.0, static_cast<double>(largest) / divisor * 1.05));
  chart->addAxis(sizes, Qt::AlignBottom);
  series->attachAxis(sizes);
  chart->legend()->setVisible(false);
  return ViewOf(chart);
}

QChartView* MediumChart(const CFileItemList& list, const CatalogStatistics& s) {
  std::vector<MediumStatistics> media = s.media;
  std::stable_sort(media.begin(), media.end(),
                   [](const MediumStatistics& a, const MediumStatistics& b) { return a.files.bytes > b.files.bytes; });
  auto* series = new QPieSeries;
  uint64_t rest = 0;
  for (size_t k = 0; k < media.size(); ++k) {
    if (static_cast<int>(k) >= kMaxSlices - 1 && media.size() > static_cast<size_t>(kMaxSlices)) {
      rest += media[k].files.bytes;
      continue;
    }
    series->append(QString::fromStdString(DisplayText(list[media[k].index]->name)),
                   static_cast<double>(media[k].files.bytes));
  }
  if (rest) series->append(Tr("$$Other"), static_cast<double>(rest));
  for (QPieSlice* slice : series->slices())
    slice->setLabel(QStringLiteral("%1 (%2 %)").arg(slice->label()).arg(slice->percentage() * 100, 0, 'f', 0));
  auto* chart = new QChart;
  chart->addSeries(series);
  return ViewOf(chart);
}

QRect g_lastGeometry;

}  // namespace

std::optional<size_t> RunStatisticsDialog(QWidget* owner, const CFileItemList& list, long from) {
  QDialog dialog(owner);
  Ui::StatisticsDialog form;
  form.setupUi(&dialog);
  dialog.setObjectName(QStringLiteral("StatisticsDialog"));
  TranslateWindow(&dialog);
  const long start = from >= 0 && static_cast<size_t>(from) < list.size() ? from : -1;
  if (start >= 0)
    dialog.setWindowTitle(dialog.windowTitle() + QStringLiteral(" - ") +
                          QString::fromStdString(DisplayText(list[start]->name)));
  const CatalogStatistics s = ComputeStatistics(list, start);
  form.summary->setText(QString::fromStdString(FormatInserts(
      Translate("IDS_STATISTICS_TOTAL"), {static_cast<long long>(s.files.count), SpaceText(s.files.bytes).toStdString(),
                                          static_cast<long long>(s.directories),
                                          static_cast<long long>(s.archiveMembers)})));
  form.kindLayout->addWidget(KindChart(s));
  form.mediumLayout->addWidget(MediumChart(list, s));

  const CItemPaths paths(list);
  for (const FolderSize& f : s.largestFolders) {
    auto* row = new QTreeWidgetItem(form.folders);
    row->setText(0, QString::fromStdString(DisplayText(paths.Logical(f.index, true))));
    row->setText(1, SpaceText(f.bytes));
    row->setText(2, QString::number(f.files));
    row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    row->setData(0, kIndexRole, QVariant::fromValue<qulonglong>(f.index));
  }
  form.folders->header()->setStretchLastSection(false);
  form.folders->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  form.folders->setColumnWidth(1, 120);
  form.folders->setColumnWidth(2, 80);
  form.goTo->setEnabled(false);
  QObject::connect(form.folders, &QTreeWidget::currentItemChanged, &dialog,
                   [&](QTreeWidgetItem* current) { form.goTo->setEnabled(current != nullptr); });
  std::optional<size_t> chosen;
  auto goTo = [&] {
    if (QTreeWidgetItem* current = form.folders->currentItem()) {
      chosen = static_cast<size_t>(current->data(0, kIndexRole).toULongLong());
      dialog.accept();
    }
  };
  QObject::connect(form.goTo, &QPushButton::clicked, &dialog, goTo);
  QObject::connect(form.folders, &QTreeWidget::itemDoubleClicked, &dialog, goTo);
  QObject::connect(form.exit, &QPushButton::clicked, &dialog, &QDialog::reject);
  dialog.resize(std::max(dialog.sizeHint().width(), 820), std::max(dialog.sizeHint().height(), 640));
  if (g_lastGeometry.isValid()) dialog.setGeometry(g_lastGeometry);
  dialog.exec();
  g_lastGeometry = dialog.geometry();
  return chosen;
}

// The duplicates and statistics windows: what the user sees after Find,
// the rule choice, Go to on a copy or a folder, and the menu entries.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QtCharts/QChartView>

#include "ui/DuplicatesDialog.h"
#include "ui/StatisticsDialog.h"
#include "ui/UiTestUtil.h"

namespace {

// Two media holding the same song; the photo's copies differ in date.
void Catalog(UiFixture& f) {
  f.AddMedia("CD1", 0, "/nonexistent");                  // 0
  f.Add(ITEM_DIRECTORY, "music", 1);                     // 1
  f.Add(ITEM_FILE, "song.mp3", 2, 150 * 1024);           // 2
  f.Add(ITEM_FILE, "photo.jpg", 1, 40 * 1024);           // 3
  f.AddMedia("CD2", 0, "/nonexistent");                  // 4
  f.Add(ITEM_FILE, "song.mp3", 1, 150 * 1024);           // 5
  f.Add(ITEM_FILE, "photo.jpg", 1, 40 * 1024).time = 5;  // 6
  f.Show();
}

}  // namespace

class AnswersWindowsTest : public QObject {
  Q_OBJECT
 private slots:
  void DuplicatesGroupsByRuleAndGoesToACopy() {
    UiFixture f;
    Catalog(f);
    int groupsByName = -1, groupsByDate = -1, copies = -1;
    QString firstGroup, total;
    WhenModal([&](QWidget* d) {
      auto* tree = Child<QTreeWidget>(d, "groups");
      Child<QPushButton>(d, "find")->click();
      groupsByName = tree->topLevelItemCount();
      firstGroup = tree->topLevelItem(0)->text(0);
      copies = tree->topLevelItem(0)->childCount();
      Child<QComboBox>(d, "rule")->setCurrentIndex(1);  // name, size and date
      Child<QPushButton>(d, "find")->click();
      groupsByDate = tree->topLevelItemCount();
      total = Child<QLabel>(d, "total")->text();
      QVERIFY(!Child<QPushButton>(d, "goTo")->isEnabled());
      tree->setCurrentItem(tree->topLevelItem(0)->child(1));
      Child<QPushButton>(d, "goTo")->click();
    });
    const std::optional<size_t> chosen = RunDuplicatesDialog(f.frame.get(), f.List(), -1, f.scripted);
    QCOMPARE(groupsByName, 2);
    QCOMPARE(firstGroup, QStringLiteral("song.mp3"));  // the larger waste first
    QCOMPARE(copies, 2);
    QCOMPARE(groupsByDate, 1);
    QVERIFY2(total.startsWith(QStringLiteral("1 groups")), qPrintable(total));
    QCOMPARE(chosen, std::optional<size_t>(5));

    // Below the first medium alone nothing is kept twice.
    int below = -1;
    WhenModal([&](QWidget* d) {
      Child<QPushButton>(d, "find")->click();
      below = Child<QTreeWidget>(d, "groups")->topLevelItemCount();
      Child<QPushButton>(d, "exit")->click();
    });
    QVERIFY(!RunDuplicatesDialog(f.frame.get(), f.List(), 0, f.scripted));
    QCOMPARE(below, 0);
  }

  void StatisticsShowChartsAndGoesToALargeFolder() {
    UiFixture f;
    Catalog(f);
    QString summary, firstFolder;
    int charts = -1;
    WhenModal([&](QWidget* d) {
      summary = Child<QLabel>(d, "summary")->text();
      charts = static_cast<int>(d->findChildren<QChartView*>().size());
      auto* folders = Child<QTreeWidget>(d, "folders");
      firstFolder = folders->topLevelItem(0)->text(0);
      folders->setCurrentItem(folders->topLevelItem(0));
      Child<QPushButton>(d, "goTo")->click();
    });
    const std::optional<size_t> chosen = RunStatisticsDialog(f.frame.get(), f.List(), -1);
    QVERIFY2(summary.startsWith(QStringLiteral("4 files, 380 Kb")), qPrintable(summary));
    QCOMPARE(charts, 2);
    QCOMPARE(firstFolder, QStringLiteral("\\\\CD1\\music"));
    QCOMPARE(chosen, std::optional<size_t>(1));
  }

  void MenusOfferBothWindows() {
    UiFixture f;
    QStringList entries;
    for (QAction* menu : f.frame->menuBar()->actions())
      for (QAction* a : menu->menu()->actions()) entries << a->text();
    QVERIFY(entries.contains(QStringLiteral("D&uplicates...")));
    QVERIFY(entries.contains(QStringLiteral("Statisti&cs...")));
  }
};

QTEST_MAIN(AnswersWindowsTest)
#include "AnswersWindowsTest.moc"

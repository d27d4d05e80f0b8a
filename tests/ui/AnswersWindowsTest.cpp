// The duplicates and statistics windows: what the user sees after Find,
// the rule choice, Go to on a copy or a folder, and the menu entries.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QtCharts/QChartView>

#include "query/SearchSession.h"
#include "ui/DuplicatesDialog.h"
#include "ui/ExportCommand.h"
#include "ui/SearchDialog.h"
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

  void SearchResultsExportExactlyTheRowsFound() {
    UiFixture f;
    Catalog(f);
    SearchDialogMemory memory;
    CSearchSession session(f.List(), -1, f.app.settings.searchHistory, memory, true);
    const QString page = f.dir.filePath(QStringLiteral("found.html"));
    f.scripted.files.push_back(page.toStdString());
    bool enabledBefore = true;
    WhenModal([&](QWidget* d) {
      enabledBefore = Child<QPushButton>(d, "exportRows")->isEnabled();
      Child<QComboBox>(d, "text")->setEditText(QStringLiteral("song*"));
      Child<QPushButton>(d, "find")->click();
      Child<QPushButton>(d, "exportRows")->click();
      Child<QPushButton>(d, "exit")->click();
    });
    RunSearchDialog(f.frame.get(), session, f.scripted);
    QVERIFY(!enabledBefore);
    QFile file(page);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    QCOMPARE(html.count(QStringLiteral("<td>song.mp3</td>")), 2);
    QVERIFY(!html.contains(QStringLiteral("photo.jpg")));
    QVERIFY(!html.contains(QStringLiteral("<details")));  // rows only, no tree

    // A file type that is no export format is refused before anything is written.
    f.scripted.files.push_back(f.dir.filePath(QStringLiteral("list.txt")).toStdString());
    int produced = 0;
    const auto produce = [&](ExportFormat, const ExportOutput&, IProgressSink*) { return ++produced > 0; };
    QVERIFY(!RunExportCommand(f.frame.get(), f.scripted, "x.csv", produce));
    QCOMPARE(produced, 0);
    QCOMPARE(f.scripted.boxes.size(), size_t(1));
    QVERIFY(!QFile::exists(f.dir.filePath(QStringLiteral("list.txt"))));
  }

  void MenusOfferBothWindows() {
    UiFixture f;
    QStringList entries;
    for (QAction* menu : f.frame->menuBar()->actions())
      for (QAction* a : menu->menu()->actions()) entries << a->text();
    QVERIFY(entries.contains(QStringLiteral("D&uplicates...")));
    QVERIFY(entries.contains(QStringLiteral("Statisti&cs...")));
    QVERIFY(entries.contains(QStringLiteral("&Export...")));
  }
};

QTEST_MAIN(AnswersWindowsTest)
#include "AnswersWindowsTest.moc"

// The search dialog over a session: what the user sees when it opens, the
// history, a bad size field, "$$Go to ..." and its smallest size.
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "query/SearchSession.h"
#include "ui/MainFrame.h"
#include "ui/CatalogTree.h"
#include "ui/FileListView.h"
#include "ui/SearchDialog.h"
#include "ui/UiTestUtil.h"

namespace {

void Catalog(UiFixture& f) {
  f.AddMedia("CD1", 0, "/nonexistent");
  f.Add(ITEM_DIRECTORY, "docs", 1);
  f.Add(ITEM_FILE, "song.mp3", 2, 150 * 1024);
  f.Add(ITEM_FILE, "readme.txt", 2, 10);
  f.Show();
}

}  // namespace

class SearchDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void FirstOpeningKindFollowsTheListMode() {
    UiFixture f;
    Catalog(f);
    for (bool filesMode : {true, false}) {
      SearchDialogMemory memory;
      CSearchSession session(f.List(), -1, f.app.settings.searchHistory, memory, filesMode);
      QString kind, title;
      WhenModal([&](QWidget* d) {
        kind = Child<QComboBox>(d, "kind")->currentText();
        title = d->windowTitle();
        Child<QPushButton>(d, "exit")->click();
      });
      QVERIFY(!RunSearchDialog(f.frame.get(), session, f.scripted));
      QCOMPARE(kind, filesMode ? QStringLiteral("Search for all") : QStringLiteral("Directory name"));
      QCOMPARE(title, QStringLiteral("Search in \\"));
    }
  }

  void HistoryKeepsTenMostRecentFirst() {
    UiFixture f;
    Catalog(f);
    SearchDialogMemory memory;
    CSearchSession session(f.List(), -1, f.app.settings.searchHistory, memory, true);
    QStringList shown;
    WhenModal([&](QWidget* d) {
      auto* text = Child<QComboBox>(d, "text");
      for (int n = 1; n <= 11; ++n) {
        text->setEditText(QStringLiteral("*.%1").arg(n));
        Child<QPushButton>(d, "find")->click();
      }
      text->setEditText(QStringLiteral("*.5"));
      Child<QPushButton>(d, "find")->click();
      for (int i = 0; i < text->count(); ++i) shown << text->itemText(i);
      Child<QPushButton>(d, "exit")->click();
    });
    RunSearchDialog(f.frame.get(), session, f.scripted);
    QCOMPARE(shown.size(), 10);
    QCOMPARE(shown.first(), QStringLiteral("*.5"));
    QCOMPARE(shown.count(QStringLiteral("*.5")), 1);
    QVERIFY(!shown.contains(QStringLiteral("*.1")));  // pushed out
    QCOMPARE(shown.last(), QStringLiteral("*.2"));
  }

  void NonNumericSizeIsReportedAndTheLastValueUsed() {
    UiFixture f;
    Catalog(f);
    SearchDialogMemory memory;
    memory.minKb = 100;
    CSearchSession session(f.List(), -1, f.app.settings.searchHistory, memory, true);
    QString fieldAfter;
    WhenModal([&](QWidget* d) {
      Child<QComboBox>(d, "text")->setEditText(QString());
      Child<QComboBox>(d, "kind")->setCurrentIndex(SEARCH_FILE_NAME);
      Child<QLineEdit>(d, "minSize")->setText(QStringLiteral("12x"));
      Child<QPushButton>(d, "find")->click();
      fieldAfter = Child<QLineEdit>(d, "minSize")->text();
      Child<QPushButton>(d, "exit")->click();
    });
    RunSearchDialog(f.frame.get(), session, f.scripted);
    QCOMPARE(f.scripted.boxes.size(), size_t(1));
    QCOMPARE(fieldAfter, QStringLiteral("100"));
    QCOMPARE(session.LastCriteria().minKb, 100u);
    QCOMPARE(session.Results(), std::vector<size_t>{2});  // only song.mp3 is 100 Kb or more
  }

  void GoToSelectsTheItemInTreeAndList() {
    UiFixture f;
    Catalog(f);
    f.frame->Tree()->SelectItem(0);
    f.port.SetOwner(f.frame.get());
    WhenModal([&](QWidget* d) {
      Child<QComboBox>(d, "text")->setEditText(QStringLiteral("readme.txt"));
      Child<QComboBox>(d, "kind")->setCurrentIndex(SEARCH_FILE_NAME);
      Child<QPushButton>(d, "find")->click();
      auto* results = Child<QTreeView>(d, "results");
      results->setCurrentIndex(results->model()->index(0, 0));
      Child<QPushButton>(d, "goTo")->click();
    });
    SearchDialogMemory memory;
    CSearchSession session(f.List(), f.Doc().currentIndex, f.app.settings.searchHistory, memory, true);
    const auto chosen = RunSearchDialog(f.frame.get(), session, f.port);
    QCOMPARE(chosen, std::optional<size_t>(3));
    f.frame->ShowItem(*chosen);
    QCOMPARE(f.Doc().currentIndex, 1L);  // the tree shows its directory
    QCOMPARE(f.frame->List()->SelectedItem(), 3L);
  }

  void EveryResultHasItsTypeAndAHeadingSortsThem() {
    // Through the window's Search command, as the user meets it.
    UiFixture f("[Config]\nLoadLastUsed=0\nLanguage=US\n", true);
    f.AddMedia("CD1", 0, "/nonexistent");
    const char* extensions[] = {".txt", ".png", ".mp3", ".zip", ".jpg", ".pdf", ".html"};
    for (int n = 0; n < 10000; ++n) f.Add(ITEM_FILE, "file" + std::to_string(n) + extensions[n % 7], 1, n);
    f.Show();
    int rows = 0, untyped = 0;
    QString first, last, png;
    WhenModal([&](QWidget* d) {
      Child<QComboBox>(d, "text")->setEditText(QStringLiteral("*"));
      Child<QComboBox>(d, "kind")->setCurrentIndex(SEARCH_FILE_NAME);
      Child<QPushButton>(d, "find")->click();
      auto* results = Child<QTreeView>(d, "results");
      QAbstractItemModel* model = results->model();
      rows = model->rowCount();
      for (int r = 0; r < rows; ++r)
        if (model->index(r, 3).data().toString().isEmpty()) ++untyped;
      png = model->index(1, 3).data().toString();  // file1.png, by time
      // The type heading: descending first.
      emit results->header()->sectionClicked(3);
      first = model->index(0, 3).data().toString();
      last = model->index(rows - 1, 3).data().toString();
      Child<QPushButton>(d, "exit")->click();
    });
    f.frame->OnCommand(CMD_SEARCH);
    QCOMPARE(rows, 10000);
    QCOMPARE(untyped, 0);
    QCOMPARE(png, QStringLiteral("PNG image"));
    QVERIFY2(first.compare(last, Qt::CaseInsensitive) > 0, qPrintable(first + " / " + last));
  }

  void NeverSmallerThanAtItsFirstOpening() {
    UiFixture f;
    Catalog(f);
    SearchDialogMemory memory;
    CSearchSession session(f.List(), -1, f.app.settings.searchHistory, memory, true);
    QSize first, minimum, reopened;
    WhenModal([&](QWidget* d) {
      first = d->size();
      d->resize(first.width() + 80, first.height() + 40);
      Child<QPushButton>(d, "exit")->click();
    });
    RunSearchDialog(f.frame.get(), session, f.scripted);
    WhenModal([&](QWidget* d) {
      minimum = d->minimumSize();
      reopened = d->size();
      Child<QPushButton>(d, "exit")->click();
    });
    RunSearchDialog(f.frame.get(), session, f.scripted);
    QCOMPARE(minimum, first);
    QCOMPARE(reopened, QSize(first.width() + 80, first.height() + 40));
  }
};

QTEST_MAIN(SearchDialogTest)
#include "SearchDialogTest.moc"

// The main window's panes over small catalogs: what can break between the
// core's rules and what the user sees.
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include "i18n/Translator.h"
#include "picture/Bitmap.h"
#include "query/Filters.h"
#include "ui/CatalogTree.h"
#include "ui/DescriptionPane.h"
#include "ui/DibWnd.h"
#include "ui/FileListView.h"
#include "ui/QtLanguage.h"
#include "ui/Translate.h"
#include "ui/UiTestUtil.h"

namespace {

QString Cell(CQuolvaneView* list, int row, int column) {
  return list->Model()->data(list->Model()->index(row, column), Qt::DisplayRole).toString();
}

QStringList ChildNames(CTreeVarn* tree, const QModelIndex& parent) {
  QStringList names;
  for (int r = 0; r < tree->model()->rowCount(parent); ++r) names << tree->model()->index(r, 0, parent).data().toString();
  return names;
}

void AddApp(UiFixture& f, int16_t level, const std::string& description) {
  auto app = std::make_unique<CFileItemAppli>();
  app->name = "setup";
  app->level = level;
  app->description = description;
  f.List().items.push_back(std::move(app));
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void EmptyCatalogShowsOnlyTheRoot() {
    UiFixture f;
    f.Show();
    CTreeVarn* tree = f.frame->Tree();
    QCOMPARE(tree->model()->rowCount(), 1);
    QCOMPARE(tree->model()->rowCount(tree->model()->index(0, 0)), 0);
    QVERIFY(TreeContextMenu(f.List(), -1).empty());
    // Before any selection: the selected-text, a blank, and "None".
    QCOMPARE(f.frame->StatusPart(0)->toolTip(), QStringLiteral("Currently selected:  None"));
  }

  void FilterWithNoPassingFileKeepsOnlyFolders() {
    UiFixture f;
    f.Add(ITEM_FOLDER, "Discs", 0);
    f.AddMedia("CD1", 1, "/nonexistent");
    f.Add(ITEM_DIRECTORY, "docs", 2);
    f.Add(ITEM_FILE, "a.txt", 3);
    Filter none;
    none.name = "Pictures";
    none.extensions = {"jpg"};
    f.Doc().Settings().filters.filters = {none};
    f.Doc().Settings().filters.current = 0;
    f.Show();
    CTreeVarn* tree = f.frame->Tree();
    const QModelIndex root = tree->model()->index(0, 0);
    QCOMPARE(ChildNames(tree, root), QStringList{QStringLiteral("Discs")});
    QCOMPARE(tree->model()->rowCount(tree->model()->index(0, 0, root)), 0);
  }

  void RenamedMediaMovesToItsPlaceAndStaysSelected() {
    UiFixture f;
    f.AddMedia("Alpha", 0, "/nonexistent");
    f.AddMedia("Beta", 0, "/nonexistent");
    f.AddMedia("Gamma", 0, "/nonexistent");
    f.Show();
    CTreeVarn* tree = f.frame->Tree();
    QVERIFY(tree->SelectItem(0));
    QVERIFY(f.Doc().Rename(0, "zulu"));
    const QModelIndex root = tree->model()->index(0, 0);
    QCOMPARE(ChildNames(tree, root), (QStringList{"Beta", "Gamma", "zulu"}));
    QCOMPARE(tree->currentIndex(), tree->model()->index(2, 0, root));
    QCOMPARE(f.Doc().currentIndex, 0L);
    QVERIFY(f.Doc().IsModified());
    QVERIFY(f.frame->windowTitle().contains(QStringLiteral(" - Quolvane")));
    QVERIFY(f.frame->isWindowModified());
  }

  void EnterTwiceExpandsThenCollapsesAndDirectoriesRefuseEditing() {
    UiFixture f;
    f.Add(ITEM_FOLDER, "Discs", 0);
    f.AddMedia("CD1", 1, "/nonexistent");
    f.Add(ITEM_DIRECTORY, "docs", 2);
    f.Show();
    CTreeVarn* tree = f.frame->Tree();
    QVERIFY(tree->SelectItem(0));
    const QModelIndex folder = tree->currentIndex();
    tree->collapse(folder);
    QTest::keyClick(tree, Qt::Key_Return);
    QVERIFY(tree->isExpanded(folder));
    QTest::keyClick(tree, Qt::Key_Return);
    QVERIFY(!tree->isExpanded(folder));
    QVERIFY(tree->SelectItem(2));
    QVERIFY(!(tree->model()->flags(tree->currentIndex()) & Qt::ItemIsEditable));
    tree->EditCurrent();
    QVERIFY(!tree->IsEditing());
    QVERIFY(tree->SelectItem(1));
    QVERIFY(tree->model()->flags(tree->currentIndex()) & Qt::ItemIsEditable);
  }

  void FileListColumnsAndDirectoryOrder() {
    UiFixture f;
    f.AddMedia("CD1", 0, "/nonexistent");
    f.Add(ITEM_FILE, "b.TXT", 1, 1023);
    f.Add(ITEM_DIRECTORY, "zdir", 1);
    f.Add(ITEM_FILE, "a.txt", 1, 1048576);
    f.Add(ITEM_FILE, "README", 1, 10);
    f.Show();
    CQuolvaneView* list = f.frame->List();
    // The root leaves the list empty.
    QCOMPARE(list->Model()->rowCount(), 0);
    QVERIFY(f.frame->Tree()->SelectItem(0));
    QCOMPARE(list->Model()->rowCount(), 4);
    QCOMPARE(Cell(list, 0, 0), QStringLiteral("zdir"));
    QCOMPARE(Cell(list, 0, 1), QString());
    QCOMPARE(Cell(list, 1, 0), QStringLiteral("a.txt"));
    QCOMPARE(Cell(list, 1, 1), QStringLiteral("1024 Ko"));
    QCOMPARE(Cell(list, 2, 1), QStringLiteral("0 Ko"));
    // The first click sorts descending; directories stay first.
    list->Model()->ClickColumn(0);
    QCOMPARE(Cell(list, 0, 0), QStringLiteral("zdir"));
    QCOMPARE(Cell(list, 1, 0), QStringLiteral("README"));
    QCOMPARE(list->DetailsView()->header()->count(), 5);
    QCOMPARE(list->Model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Size"));
    QCOMPARE(IconKeyOf(*f.List()[4], true), std::string("readme"));
    QCOMPARE(IconKeyOf(*f.List()[1], true), IconKeyOf(*f.List()[3], true));
  }

  void ApplicationThreeLevelsDownIsListed() {
    UiFixture f;
    f.AddMedia("CD1", 0, "/nonexistent");
    f.Add(ITEM_DIRECTORY, "a", 1);
    f.Add(ITEM_DIRECTORY, "b", 2);
    AddApp(f, 3, "Great Tool 2.0");
    f.Doc().showFiles = 0;
    f.Show();
    QVERIFY(f.frame->Tree()->SelectItem(0));
    CQuolvaneView* list = f.frame->List();
    QCOMPARE(list->Model()->rowCount(), 1);
    QCOMPARE(Cell(list, 0, 0), QStringLiteral("Great Tool 2.0"));
  }

  void ThumbnailNeedsItsMediumAndTakesTheStrip() {
    QTemporaryDir disk;
    UiFixture f;
    f.AddMedia("Absent", 0, "/nonexistent/medium");
    CFileItem& away = f.Add(ITEM_FILE, "p.jpg", 1);
    away.thumbnail = std::make_unique<PLBitmap>(40, 30, 24);
    away.description = "Picture 40 x 30";
    f.AddMedia("Here", 0, disk.path().toStdString());
    CFileItem& here = f.Add(ITEM_FILE, "q.jpg", 1);
    here.thumbnail = std::make_unique<PLBitmap>(40, 30, 24);
    QFile(disk.filePath(QStringLiteral("q.jpg"))).open(QIODevice::WriteOnly);
    f.Show();
    f.frame->resize(800, 600);
    f.frame->show();
    CInputView* pane = f.frame->Description();
    pane->Show(1);
    QCOMPARE(pane->Text()->toPlainText(), QStringLiteral("Picture 40 x 30"));
    QVERIFY(!pane->PictureShown());
    pane->Show(3);
    QVERIFY(pane->PictureShown());
    QCOMPARE(pane->Picture()->width(), 101);
    pane->Show(-1);
    QVERIFY(!pane->PictureShown());
    QVERIFY(pane->Text()->toPlainText().isEmpty());
  }

  void WindowWalkTranslatesColumnHeadings() {
    QTreeWidget list;
    list.setHeaderLabels({QStringLiteral("$$Path"), QStringLiteral("$$Media type")});
    TranslateWindow(&list);
    QCOMPARE(list.headerItem()->text(0), QStringLiteral("Path"));
    QCOMPARE(list.headerItem()->text(1), QStringLiteral("Media type"));

    // A language file that lacks a key: the walk leaves that text empty
    // (no fallback on the key), but a tab label keeps its key.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("partial.dic"));
    {
      QFile out(file);
      QVERIFY(out.open(QIODevice::WriteOnly));
      out.write("$$Name\t\tNom propre\r\n");
    }
    QVERIFY(Translator().LoadLanguageFile(file.toStdString()));
    QWidget window;
    auto* known = new QLabel(QStringLiteral("$$Name"), &window);
    auto* missing = new QLabel(QStringLiteral("$$Folder name"), &window);
    auto* tabs = new QTabWidget(&window);
    tabs->addTab(new QWidget, QStringLiteral("$$Launch"));
    TranslateWindow(&window);
    InitTranslator(std::string(), "US");
    QCOMPARE(known->text(), QStringLiteral("Nom propre"));
    QCOMPARE(missing->text(), QString());
    QCOMPARE(tabs->tabText(0), QStringLiteral("$$Launch"));
  }

  void FrenchMenus() {
    UiFixture f("[Config]\nLoadLastUsed=0\nLanguage=FR\n");
    QStringList titles;
    for (QAction* a : f.frame->menuBar()->actions()) titles << a->text();
    QCOMPARE(titles.value(0), QStringLiteral("&Fichier"));
    for (const QString& t : titles) QVERIFY2(!t.startsWith(QLatin1String("$$")), qPrintable(t));
    QVERIFY(f.frame->StatusPart(0)->toolTip().startsWith(Tr("IDS_SELECTED")));
    // Every view, button and status part has a name a screen reader can speak.
    for (QWidget* w : f.frame->findChildren<QWidget*>()) {
      if (w->window() != f.frame.get() || qobject_cast<QHeaderView*>(w)) continue;  // popups, column headings
      if (!qobject_cast<QAbstractItemView*>(w) && !qobject_cast<QToolButton*>(w) && !qobject_cast<QLabel*>(w->parentWidget() == f.frame->statusBar() ? w : nullptr))
        continue;
      if (qobject_cast<QToolButton*>(w) && qobject_cast<QToolButton*>(w)->defaultAction() == nullptr) continue;
      QVERIFY2(!w->accessibleName().isEmpty() && !w->accessibleName().contains(QLatin1String("$$")),
               qPrintable(w->metaObject()->className() + QStringLiteral(" ") + w->accessibleName()));
    }
    InitTranslator(std::string(), "US");
  }

  void AFreshStartIsNotModifiedAndQuitsWithoutAQuestion() {
    UiFixture f;
    f.frame->UpdateFrame();
    QCOMPARE(f.frame->windowTitle(), QStringLiteral("No name[*] - Quolvane"));
    QVERIFY(!f.frame->isWindowModified());
    QVERIFY(f.Doc().IsUntitled());
    QVERIFY(f.frame->close());
    QVERIFY(f.scripted.boxes.empty());
    QVERIFY(f.app.settings.recentFiles.empty());
  }

  void TheSaveQuestionSpeaksTheInterfacesLanguage() {
    struct Case {
      const char* language;
      QString text, cancel;
    };
    for (const Case& c : {Case{"FR", QStringLiteral("Enregistrer les modifications apportées à Sans nom\u00A0?"),
                               QStringLiteral("Annuler")},
                          Case{"US", QStringLiteral("Save changes to No name\u00A0?"), QStringLiteral("Cancel")}}) {
      UiFixture f(std::string("[Config]\nLoadLastUsed=0\nLanguage=") + c.language + "\n", true);
      f.AddMedia("CD1", 0, "/nonexistent");
      f.Show();
      f.Doc().SetModifiedFlag();
      QString text, cancel, save;
      WhenModal([&](QWidget* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        QVERIFY(box);
        text = box->text();
        cancel = box->button(QMessageBox::Cancel)->text();
        save = box->defaultButton()->text();
        box->button(QMessageBox::Cancel)->click();
      });
      // Cancel: the window stays, with its catalog.
      QVERIFY(!f.frame->close());
      QCOMPARE(text, c.text);
      QCOMPARE(cancel.remove(QLatin1Char('&')), c.cancel);
      QVERIFY(!save.isEmpty());
      QCOMPARE(f.List().size(), size_t{1});
      f.Doc().SetModifiedFlag(false);
    }
    InitTranslator(std::string(), "US");
    InstallQtLanguage();
  }

  void LongNamesShowWholeInEachIconView() {
    UiFixture f;
    f.AddMedia("CD1", 0, "/nonexistent");
    // The first row is the shortest: the others must not take its size.
    const QStringList names = {QStringLiteral("a"), QStringLiteral("readme.txt"),
                               QStringLiteral("a_very_long_file_name_without_any_blank_in_it_at_all.txt"),
                               QStringLiteral("holiday pictures of the summer by the sea.jpeg")};
    for (const QString& name : names) f.Add(ITEM_FILE, name.toStdString(), 1, 10);
    f.Show();
    f.frame->resize(900, 600);
    f.frame->show();
    QVERIFY(f.frame->Tree()->SelectItem(0));
    CQuolvaneView* list = f.frame->List();
    QListView* view = list->IconView();
    for (CQuolvaneView::Mode mode : {CQuolvaneView::SmallIcons, CQuolvaneView::List, CQuolvaneView::LargeIcons}) {
      list->SetMode(mode);
      QApplication::processEvents();
      const QFontMetrics metrics(view->font());
      for (int row = 0; row < list->Model()->rowCount(); ++row) {
        const QModelIndex index = list->Model()->index(row, 0);
        const QString name = index.data().toString();
        const QRect rect = view->visualRect(index);
        if (mode == CQuolvaneView::LargeIcons) {
          // Wrapped under the icon: every line fits the cell, all lines fit its height.
          QCOMPARE(rect.width(), kLargeIconCellWidth);
          const QStringList lines = LargeIconTextLines(name, view->font(), kLargeIconCellWidth - 6);
          QCOMPARE(lines.join(QString()).remove(QLatin1Char(' ')), QString(name).remove(QLatin1Char(' ')));
          for (const QString& line : lines) QVERIFY2(metrics.horizontalAdvance(line) <= kLargeIconCellWidth - 6, qPrintable(line));
          QVERIFY2(rect.height() >= 32 + static_cast<int>(lines.size()) * metrics.lineSpacing(), qPrintable(name));
        } else {
          QVERIFY2(rect.width() >= metrics.horizontalAdvance(name) + 16, qPrintable(QStringLiteral("%1: %2 px").arg(name).arg(rect.width())));
        }
      }
    }
    QVERIFY(LargeIconTextLines(names[2], view->font(), kLargeIconCellWidth - 6).size() > 1);
  }

  void TreeScrollsSidewaysAndDatesFitTheirColumn() {
    UiFixture f;
    f.Add(ITEM_FOLDER, "A folder whose name is much wider than the tree pane can show", 0);
    AddApp(f, 1, "Tool");
    f.Show();
    f.frame->show();
    f.frame->Tree()->resize(120, 300);
    QApplication::processEvents();
    QVERIFY(f.frame->Tree()->horizontalScrollBar()->maximum() > 0);
    // The applications view's date column holds a whole date and time.
    f.frame->OnCommand(CMD_VIEW_APPLICATIONS);
    QTreeView* details = f.frame->List()->DetailsView();
    QCOMPARE(details->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Date"));
    QVERIFY(details->columnWidth(1) >= details->fontMetrics().horizontalAdvance(QStringLiteral("31/12/2000  23:59:59")));
  }

  void ATypedFilterAppliesWhenTheComboLosesTheFocus() {
    UiFixture f;
    f.AddMedia("CD1", 0, "/nonexistent");
    f.Add(ITEM_FILE, "a.txt", 1);
    f.Add(ITEM_FILE, "b.jpg", 1);
    f.Show();
    f.frame->show();
    QVERIFY(QTest::qWaitForWindowActive(f.frame.get()));
    QVERIFY(f.frame->Tree()->SelectItem(0));
    QCOMPARE(f.frame->List()->Model()->rowCount(), 2);
    QComboBox* combo = f.frame->FilterCombo();
    QCOMPARE(combo->width(), 150);
    combo->setFocus();
    QApplication::processEvents();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("*.txt"));
    QCOMPARE(f.Doc().Settings().filters.current, kNoFilter);  // typing alone applies nothing
    f.frame->Tree()->setFocus();
    QApplication::processEvents();
    QCOMPARE(f.Doc().Settings().filters.current, kTypedPattern);
    QCOMPARE(f.Doc().Settings().filters.TypedText(), std::string("*.txt"));
    QCOMPARE(f.frame->List()->Model()->rowCount(), 1);
    QCOMPARE(Cell(f.frame->List(), 0, 0), QStringLiteral("a.txt"));
  }

  void SplitMovesTheBarsWithTheKeyboard() {
    UiFixture f;
    f.frame->resize(900, 600);
    f.frame->show();
    auto* outer = qobject_cast<QSplitter*>(f.frame->centralWidget());
    QVERIFY(outer);
    const QList<int> before = outer->sizes();
    f.frame->OnCommand(59395);  // "$$S&plit"
    QTest::keyClick(f.frame->Tree(), Qt::Key_Right);
    QTest::keyClick(f.frame->Tree(), Qt::Key_Right);
    QCOMPARE(outer->sizes().value(0), before.value(0) + 16);
    QTest::keyClick(f.frame->Tree(), Qt::Key_Return);  // kept
    QTest::keyClick(f.frame->Tree(), Qt::Key_Right);   // the tree's own key again
    QCOMPARE(outer->sizes().value(0), before.value(0) + 16);
    f.frame->OnCommand(59395);
    QTest::keyClick(f.frame->Tree(), Qt::Key_Left);
    QTest::keyClick(f.frame->Tree(), Qt::Key_Escape);  // put back
    QCOMPARE(outer->sizes().value(0), before.value(0) + 16);
  }

  void RecentFilesStandInTheFileMenu() {
    UiFixture f;
    QMenu* file = f.frame->menuBar()->actions().value(0)->menu();
    auto texts = [&] {
      QStringList out;
      for (QAction* a : file->actions())
        if (a->isVisible()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
      return out;
    };
    f.frame->UpdateFrame();
    // None yet: the grayed placeholder between two separators.
    QStringList shown = texts();
    const int at = shown.indexOf(QStringLiteral("Recent files"));
    QVERIFY2(at > 0, qPrintable(shown.join('|')));
    QCOMPARE(shown.value(at - 1), QStringLiteral("-"));
    QCOMPARE(shown.value(at + 1), QStringLiteral("-"));
    f.app.settings.recentFiles = {"/data/R&D.qvd", "/data/other.qvd"};
    f.frame->UpdateFrame();
    shown = texts();
    QVERIFY(!shown.contains(QStringLiteral("Recent files")));
    const int first = shown.indexOf(QStringLiteral("&1 /data/R&&D.qvd"));
    QVERIFY2(first > 0, qPrintable(shown.join('|')));
    QCOMPARE(shown.value(first + 1), QStringLiteral("&2 /data/other.qvd"));
    QCOMPARE(shown.value(first + 2), QStringLiteral("-"));
    QCOMPARE(shown.last(), QStringLiteral("&Quit"));
  }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"

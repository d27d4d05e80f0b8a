// The settings sheet, the media list, the properties dialog and the help
// window: edge cases between the core's rules and the controls.
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>
#include <functional>

#include "app/ConfigSheet.h"
#include "query/FilterEditing.h"
#include "query/Panes.h"
#include "scan/MediaTypes.h"
#include "ui/ConfigSheet.h"
#include "ui/Dialogs.h"
#include "ui/FilterDialogs.h"
#include "ui/HelpWindow.h"
#include "ui/UiTestUtil.h"

namespace {

void TypeSize(QWidget* d, const char* width, const char* height) {
  auto* w = Child<QLineEdit>(d, "width");
  auto* h = Child<QLineEdit>(d, "height");
  w->setText(QString::fromLatin1(width));
  emit w->editingFinished();
  h->setText(QString::fromLatin1(height));
  emit h->editingFinished();
}

QStringList Rows(QTreeWidget* table) {
  QStringList rows;
  for (int i = 0; i < table->topLevelItemCount(); ++i)
    rows << table->topLevelItem(i)->text(0) + QLatin1Char('|') + table->topLevelItem(i)->text(1);
  return rows;
}

}  // namespace

class SettingsWindowsTest : public QObject {
  Q_OBJECT
 private slots:
  void SizeEstimateAndStoredSixteenBits() {
    UiFixture f("[Config]\nLoadLastUsed=0\nScanDescrBpp=16\nScanDescrAudio=0\n");
    QString big, small, depth;
    bool audioShown = true, videoShown = false;
    WhenModal([&](QWidget* d) {
      Child<QTabWidget>(d, "pages")->setCurrentIndex(CConfigSheet::DescrPage);
      depth = Child<QComboBox>(d, "bpp")->currentText();
      audioShown = Child<QCheckBox>(d, "scanDescrAudio")->isChecked();
      videoShown = Child<QCheckBox>(d, "scanDescrVideo")->isChecked();
      Child<QCheckBox>(d, "scanDescrAudio")->setChecked(true);
      Child<QCheckBox>(d, "scanDescrVideo")->setChecked(false);
      TypeSize(d, "100", "100");
      big = Child<QLabel>(d, "size")->text();
      TypeSize(d, "50", "50");
      small = Child<QLabel>(d, "size")->text();
      Child<QPushButton>(d, "ok")->click();
    });
    QVERIFY(RunConfigSheet(f.frame.get(), f.scripted, f.app.settings));
    QCOMPARE(depth, QStringLiteral("8 (256 colors)"));
    QCOMPARE(big, QStringLiteral("9.8 Kb"));
    QCOMPARE(small, QStringLiteral("2500 bytes"));
    QCOMPARE(f.app.settings.config.scanDescrBpp, 8);
    QCOMPARE(f.app.settings.config.scanDescrWidth, 50);
    QVERIFY(!audioShown);
    QVERIFY(videoShown);
    QCOMPARE(f.app.settings.config.scanDescrAudio, 1);
    QCOMPARE(f.app.settings.config.scanDescrVideo, 0);
  }

  void PageNeverVisitedKeepsItsValues() {
    UiFixture f("[Config]\nLoadLastUsed=0\nScanDescrBpp=16\nScanApplis=0\n");
    WhenModal([&](QWidget* d) { Child<QPushButton>(d, "ok")->click(); });
    QVERIFY(RunConfigSheet(f.frame.get(), f.scripted, f.app.settings));
    QCOMPARE(f.app.settings.config.scanDescrBpp, 16);
    QCOMPARE(f.app.settings.config.scanApplis, 0);
    // A page left before Cancel hands its values over all the same.
    WhenModal([&](QWidget* d) {
      auto* pages = Child<QTabWidget>(d, "pages");
      pages->setCurrentIndex(CConfigSheet::ScanPage);
      Child<QCheckBox>(d, "scanApplis")->setChecked(true);
      pages->setCurrentIndex(CConfigSheet::LaunchPage);
      Child<QPushButton>(d, "cancel")->click();
    });
    QVERIFY(!RunConfigSheet(f.frame.get(), f.scripted, f.app.settings));
    QCOMPARE(f.app.settings.config.scanApplis, 1);
  }

  void LanguageChoicesAreWrittenAtOnce() {
    UiFixture f("[Config]\nLoadLastUsed=0\nLangFile=/data/old.DIC\n");
    bool fieldEnabled = false, fieldDisabledAfterFrench = true;
    WhenModal([&](QWidget* d) {
      fieldEnabled = Child<QLineEdit>(d, "langFile")->isEnabled();
      Child<QRadioButton>(d, "languageFrench")->click();
      fieldDisabledAfterFrench = !Child<QLineEdit>(d, "langFile")->isEnabled();
      Child<QPushButton>(d, "ok")->click();
    });
    RunConfigSheet(f.frame.get(), f.scripted, f.app.settings);
    QVERIFY(fieldEnabled);
    QVERIFY(fieldDisabledAfterFrench);
    CIniFile written;
    QVERIFY(written.Load(f.app.settings.path));
    QCOMPARE(written.GetString("Config", "Language"), std::string("FR"));
    QCOMPARE(written.GetString("Config", "LangFile"), std::string());

    WhenModal([&](QWidget* d) {
      Child<QRadioButton>(d, "languageFile")->click();
      Child<QLineEdit>(d, "langFile")->clear();
      Child<QPushButton>(d, "ok")->click();
    });
    RunConfigSheet(f.frame.get(), f.scripted, f.app.settings);
    QVERIFY(written.Load(f.app.settings.path));
    QCOMPARE(written.GetString("Config", "Language"), std::string());
    QCOMPARE(written.GetString("Config", "LangFile"), std::string());
  }

  void MediaListCancelLeavesTheListAsItWas() {
    UiFixture f;
    MediaTypeList types = {MakeMediaType("/media/cd", "CDRom", MediaKinds().Lookup("CD")),
                           MakeMediaType("", "Directory", MediaKinds().Lookup("Dir"))};
    WhenModal([&](QWidget* d) {
      auto* rows = Child<QTreeWidget>(d, "rows");
      rows->setCurrentItem(rows->topLevelItem(0));
      Child<QPushButton>(d, "deleteType")->click();
      QCOMPARE(rows->topLevelItemCount(), 1);
      Child<QPushButton>(d, "cancel")->click();
    });
    QVERIFY(!RunMediaListDialog(f.frame.get(), f.scripted, types));
    QCOMPARE(types.size(), size_t(2));
    QCOMPARE(types[0].name, std::string("CDRom"));
    QCOMPARE(f.scripted.boxes.size(), size_t(1));
  }

  void PropertiesOfTheWholeCatalogAndOfAnArchive() {
    UiFixture f;
    f.AddMedia("CD1", 0, "/nonexistent");
    f.Add(ITEM_ARCHIVE_ENTRY, "pack.zip", 1, 3 * 1024);
    f.Add(ITEM_FILE, "a.txt", 2, 4 * 1024);
    f.Add(ITEM_FILE, "b.txt", 2, 6 * 1024);
    f.Show();
    QStringList whole, archive;
    WhenModal([&](QWidget* d) {
      whole = Rows(d->findChild<QTreeWidget*>());
      d->close();
    });
    f.Doc().currentIndex = -1;
    f.frame->OnCommand(CMD_PROPERTIES);
    WhenModal([&](QWidget* d) {
      archive = Rows(d->findChild<QTreeWidget*>());
      d->close();
    });
    f.Doc().currentIndex = 1;
    f.frame->OnCommand(CMD_PROPERTIES);
    QVERIFY2(whole.contains(QStringLiteral("Number of contained files|3")), qPrintable(whole.join('\n')));
    QVERIFY(whole.contains(QStringLiteral("Total size|13 Kb")));
    QVERIFY2(archive.contains(QStringLiteral("Uncompressed size|10 Kb")), qPrintable(archive.join('\n')));
    QVERIFY(archive.contains(QStringLiteral("Compressed size|3 Kb")));
    QVERIFY(archive.contains(QStringLiteral("Name|pack.zip")));
  }

  void F1OpensTheDialogsHelpPage() {
    UiFixture f;
    CFilterListEditor editor(f.Doc().Settings().filters, f.scripted);
    QString page;
    WhenModal([&](QWidget* d) {
      QTest::keyClick(d, Qt::Key_F1);
      if (QTextBrowser* browser = HelpBrowser()) page = browser->source().fileName();
      Child<QPushButton>(d, "cancel")->click();
    });
    RunFilterListDialog(f.frame.get(), editor);
    QCOMPARE(page, QStringLiteral("filter-list.html"));
    f.frame->OnCommand(57667);  // "$$&Help index"
    QCOMPARE(HelpBrowser()->source().fileName(), QStringLiteral("index.html"));
    QVERIFY(HelpBrowser()->toPlainText().contains(QStringLiteral("Quolvane")));
  }

  void F1InEveryDialogWithAHelpContext() {
    UiFixture f;
    QWidget* owner = f.frame.get();
    const std::vector<std::pair<QString, std::function<void()>>> dialogs = {
        {QStringLiteral("printing.html"), [&] { RunPrintParametersDialog(owner, PrintFields{}); }},
        {QStringLiteral("new-media.html"), [&] { RunNewMediaDialog(owner, f.port, NewMediaFields{}); }},
        {QStringLiteral("refresh.html"), [&] { RunRefreshDialog(owner, RefreshFields{}); }},
        {QStringLiteral("application.html"), [&] { RunApplicationDialog(owner, ApplicationFields{}); }},
        {QStringLiteral("description.html"), [&] { RunDescriptionDialog(owner, "$$Description of", "x", "", false); }},
        {QStringLiteral("file-description.html"),
         [&] { RunDescriptionDialog(owner, "$$File description", "x", "", true); }},
    };
    for (const auto& [expected, run] : dialogs) {
      QString page;
      WhenModal([&](QWidget* d) {
        QTest::keyClick(d, Qt::Key_F1);
        if (QTextBrowser* browser = HelpBrowser()) page = browser->source().fileName();
        static_cast<QDialog*>(d)->reject();
      });
      run();
      QCOMPARE(page, expected);
    }
  }
};

QTEST_MAIN(SettingsWindowsTest)
#include "SettingsWindowsTest.moc"

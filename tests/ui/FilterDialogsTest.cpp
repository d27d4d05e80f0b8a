// The filter list and filter dialogs: confirmations, the comma refusal and
// the current filter after deletions.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "query/FilterEditing.h"
#include "ui/FilterDialogs.h"
#include "ui/UiTestUtil.h"

namespace {

Filter Named(const std::string& name, std::vector<std::string> extensions = {}) {
  Filter f;
  f.name = name;
  f.extensions = std::move(extensions);
  f.showEmptyDirectories = 1;
  return f;
}

}  // namespace

class FilterDialogsTest : public QObject {
  Q_OBJECT
 private slots:
  void ExtensionDeleteAsksAndCancelKeepsIt() {
    UiFixture f;
    f.scripted.answers = {IDCANCEL, IDOK};
    QStringList afterCancel, afterOk;
    WhenModal([&](QWidget* d) {
      auto* list = Child<QListWidget>(d, "extensions");
      list->setCurrentRow(0);
      Child<QPushButton>(d, "deleteExtension")->click();
      for (int i = 0; i < list->count(); ++i) afterCancel << list->item(i)->text();
      Child<QPushButton>(d, "deleteExtension")->click();
      for (int i = 0; i < list->count(); ++i) afterOk << list->item(i)->text();
      Child<QPushButton>(d, "ok")->click();
    });
    const auto result = RunFilterDialog(f.frame.get(), f.scripted, Named("Sounds", {"mp3", "wav"}));
    QCOMPARE(afterCancel, (QStringList{"mp3", "wav"}));
    QCOMPARE(afterOk, QStringList{"wav"});
    QVERIFY(result);
    QCOMPARE(result->extensions, std::vector<std::string>{"wav"});
    QCOMPARE(f.scripted.boxes.size(), size_t(2));
    QVERIFY(f.scripted.boxes[0].text.find("mp3") != std::string::npos);
  }

  void NameWithCommaIsRefusedAndTheDialogStaysOpen() {
    UiFixture f;
    bool stillOpen = false;
    WhenModal([&](QWidget* d) {
      Child<QLineEdit>(d, "name")->setText(QStringLiteral("Music, loud"));
      Child<QPushButton>(d, "ok")->click();
      stillOpen = d->isVisible();
      Child<QLineEdit>(d, "name")->setText(QStringLiteral("Music"));
      Child<QCheckBox>(d, "showEmpty")->setChecked(false);
      Child<QPushButton>(d, "ok")->click();
    });
    const auto result = RunFilterDialog(f.frame.get(), f.scripted, Named("Sounds"));
    QVERIFY(stillOpen);
    QCOMPARE(f.scripted.boxes.size(), size_t(1));
    QVERIFY(result);
    QCOMPARE(result->name, std::string("Music"));
    QCOMPARE(result->showEmptyDirectories, 0);
  }

  void DeletingFiltersKeepsTheCurrentFilterOnItsFilter() {
    UiFixture f;
    CFilterState& state = f.Doc().Settings().filters;
    state.filters = {Named("A", {"a"}), Named("B", {"b"}), Named("C", {"c"})};
    state.current = 2;
    f.frame->ReloadFilterCombo();
    CFilterListEditor editor(state, f.scripted);
    QStringList names;
    WhenModal([&](QWidget* d) {
      auto* list = Child<QListWidget>(d, "names");
      list->setCurrentRow(0);
      Child<QPushButton>(d, "deleteFilter")->click();
      for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
      Child<QPushButton>(d, "ok")->click();
    });
    QVERIFY(RunFilterListDialog(f.frame.get(), editor));
    QCOMPARE(names, (QStringList{"B", "C"}));
    QCOMPARE(state.current, 1);
    QCOMPARE(state.filters[static_cast<size_t>(state.current)].name, std::string("C"));
    // Deleting the current filter leaves no filter.
    state.DeleteFilter(1);
    QCOMPARE(state.current, -1);
    f.frame->ReloadFilterCombo();
    QCOMPARE(f.frame->FilterCombo()->currentText(), QStringLiteral("No filter"));
  }
};

QTEST_MAIN(FilterDialogsTest)
#include "FilterDialogsTest.moc"

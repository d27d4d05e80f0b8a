#include "ui/DialogSupport.h"
#include "ui/ConfigSheet.h"

#include <memory>

#include <QButtonGroup>
#include <QPushButton>

#include "app/ConfigSheet.h"
#include "app/Settings.h"
#include "ports/UiPort.h"
#include "i18n/Translator.h"
#include "ui/HelpWindow.h"
#include "ui/Translate.h"
#include "ui_ConfigSheet.h"
#include "ui_PictureTypesDialog.h"

namespace {

// "$$File types": the picture switches; true on OK.
bool RunPictureTypes(QWidget* owner, std::array<bool, kPictureTypeCount>& pictures) {
  QDialog dialog(owner);
  Ui::PictureTypesDialog form;
  form.setupUi(&dialog);
  TranslateWindow(&dialog);
  QCheckBox* boxes[kPictureTypeCount] = {form.type0, form.type1, form.type2, form.type3, form.type4, form.type5,
                                         form.type6, form.type7, form.type8, form.type9, form.type10, form.type11,
                                         form.type12, form.type13};
  for (size_t i = 0; i < kPictureTypeCount; ++i) {
    boxes[i]->setText(QString::fromLatin1(kPictureTypeCaptions[i]));
    boxes[i]->setChecked(pictures[i]);
  }
  ConnectOkCancel(dialog, form);
  if (dialog.exec() != QDialog::Accepted) return false;
  for (size_t i = 0; i < kPictureTypeCount; ++i) pictures[i] = boxes[i]->isChecked();
  return true;
}

class ConfigSheetWindow : public QDialog {
 public:
  ConfigSheetWindow(QWidget* owner, IUiPort& ui, CConfigSheet& sheet) : QDialog(owner), ui_(ui), sheet_(sheet) {
    form_.setupUi(this);
    TranslateWindow(this);
    InstallHelpPage(this, "settings.html", form_.help);
    languages_.addButton(form_.languageSystem, static_cast<int>(LanguageChoice::System));
    languages_.addButton(form_.languageFrench, static_cast<int>(LanguageChoice::French));
    languages_.addButton(form_.languageEnglish, static_cast<int>(LanguageChoice::English));
    languages_.addButton(form_.languageFile, static_cast<int>(LanguageChoice::File));
    FillLaunch();
    FillScan();
    FillDescr();
    connect(&languages_, &QButtonGroup::idClicked, this, [this] { EnableLanguageFile(); });
    connect(form_.browse, &QPushButton::clicked, this, [this] {
      const std::string path = ChooseLanguageFile(ui_);
      if (!path.empty()) form_.langFile->setText(QString::fromStdString(path));
    });
    connect(form_.saveFrench, &QPushButton::clicked, this, [this] { SaveBuiltinMessages(ui_, LANG_FRENCH); });
    connect(form_.saveEnglish, &QPushButton::clicked, this, [this] { SaveBuiltinMessages(ui_, LANG_ENGLISH); });
    connect(form_.width, &QLineEdit::editingFinished, this, [this] { ShowSize(); });
    connect(form_.height, &QLineEdit::editingFinished, this, [this] { ShowSize(); });
    connect(form_.bpp, &QComboBox::currentIndexChanged, this, [this] { ShowSize(); });
    connect(form_.fileTypes, &QPushButton::clicked, this, [this] { RunPictureTypes(this, pictures_); });
    // Leaving a page hands its values over.
    connect(form_.pages, &QTabWidget::currentChanged, this, [this](int page) {
      TakeOver(shown_);
      shown_ = page;
    });
    connect(form_.ok, &QPushButton::clicked, this, [this] {
      TakeOver(shown_);
      accept();
    });
    connect(form_.cancel, &QPushButton::clicked, this, &QDialog::reject);
    shown_ = form_.pages->currentIndex();
  }

 private:
  void FillLaunch() {
    const LaunchPageValues& v = sheet_.launch;
    form_.loadLastUsed->setChecked(v.loadLastUsed);
    form_.useLastFilter->setChecked(v.useLastFilter);
    form_.openDescr->setChecked(v.openDescr);
    languages_.button(static_cast<int>(v.language))->setChecked(true);
    form_.langFile->setText(QString::fromStdString(v.langFile));
    EnableLanguageFile();
  }
  void FillScan() {
    form_.scanCompress->setChecked(sheet_.scan.scanCompress);
    form_.scanApplis->setChecked(sheet_.scan.scanApplis);
    form_.scanDescrs->setChecked(sheet_.scan.scanDescrs);
  }
  void FillDescr() {
    const DescrPageValues& v = sheet_.descr;
    form_.scanDescrMp3->setChecked(v.scanDescrMp3);
    form_.scanDescrExe->setChecked(v.scanDescrExe);
    form_.scanDescrPicDescr->setChecked(v.scanDescrPicDescr);
    pictures_ = v.pictures;
    form_.width->setText(QString::fromStdString(v.width));
    form_.height->setText(QString::fromStdString(v.height));
    form_.bpp->setCurrentIndex(v.bppPosition);
    form_.scanDescrAudio->setChecked(v.scanDescrAudio);
    form_.scanDescrVideo->setChecked(v.scanDescrVideo);
    ShowSize();
  }
  void EnableLanguageFile() {
    const bool on = LanguageFileEnabled(static_cast<LanguageChoice>(languages_.checkedId()));
    form_.langFile->setEnabled(on);
    form_.browse->setEnabled(on);
  }
  void ShowSize() {
    form_.size->setText(QString::fromStdString(ThumbnailSizeText(form_.width->text().toStdString(),
                                                                 form_.height->text().toStdString(),
                                                                 form_.bpp->currentIndex())));
  }
  void TakeOver(int page) {
    switch (page) {
      case CConfigSheet::LaunchPage:
        sheet_.TakeOver(LaunchPageValues{form_.loadLastUsed->isChecked(), form_.useLastFilter->isChecked(),
                                         form_.openDescr->isChecked(),
                                         static_cast<LanguageChoice>(languages_.checkedId()),
                                         form_.langFile->text().toStdString()});
        break;
      case CConfigSheet::ScanPage:
        sheet_.TakeOver(ScanPageValues{form_.scanCompress->isChecked(), form_.scanApplis->isChecked(),
                                       form_.scanDescrs->isChecked()});
        break;
      case CConfigSheet::DescrPage:
        sheet_.TakeOver(DescrPageValues{form_.scanDescrMp3->isChecked(), form_.scanDescrExe->isChecked(),
                                        form_.scanDescrPicDescr->isChecked(), pictures_,
                                        form_.width->text().toStdString(), form_.height->text().toStdString(),
                                        form_.bpp->currentIndex(), form_.scanDescrAudio->isChecked(),
                                        form_.scanDescrVideo->isChecked()});
        break;
      default: break;
    }
  }

  IUiPort& ui_;
  CConfigSheet& sheet_;
  Ui::ConfigSheet form_;
  QButtonGroup languages_;
  std::array<bool, kPictureTypeCount> pictures_{};
  int shown_ = 0;
};

}  // namespace

QDialog* MakeConfigSheetWindow(QWidget* owner, IUiPort& ui, CConfigSheet& sheet) {
  return new ConfigSheetWindow(owner, ui, sheet);
}

bool RunConfigSheet(QWidget* owner, IUiPort& ui, CAppSettings& settings) {
  CConfigSheet sheet(settings.config, settings.ini.GetString("Config", "Language"),
                     settings.ini.GetString("Config", "LangFile"));
  std::unique_ptr<QDialog> window(MakeConfigSheetWindow(owner, ui, sheet));
  const bool ok = window->exec() == QDialog::Accepted;
  std::string error;
  if (!CloseConfigSheet(sheet, ok, settings, &error)) ui.MessageBox(error, Translate("IDS_ERROR"), MB_ICONERROR);
  return ok;
}

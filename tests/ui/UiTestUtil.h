// A main window over a catalog built in the test, with a scripted UI port
// and a settings file of its own.
#pragma once

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <fstream>
#include <memory>
#include <string>

#include "app/Application.h"
#include "catalog/FileItem.h"
#include "query/ScriptedUi.h"
#include "ui/MainFrame.h"
#include "ui/QtUiPort.h"

struct UiFixture {
  QTemporaryDir dir;
  CQuolvaneApp app;
  ScriptedUi scripted;
  QtUiPort port;
  std::unique_ptr<CMainFrame> frame;

  // realDialogs: the document's questions are the desktop's own message boxes.
  explicit UiFixture(const std::string& settingsText = "[Config]\nLoadLastUsed=0\n", bool realDialogs = false) {
    const std::string settings = dir.filePath(QStringLiteral("Quolvane.ini")).toStdString();
    std::ofstream(settings) << settingsText;
    app.InitInstance(settings, std::string(), realDialogs ? static_cast<IUiPort&>(port) : scripted);
    frame = std::make_unique<CMainFrame>(app, port);
    app.document->SetView(frame.get());
  }
  ~UiFixture() {
    frame.reset();
    app.ExitInstance();
  }
  CQuolvaneDoc& Doc() { return *app.document; }
  CFileItemList& List() { return app.document->list; }

  CFileItem& Add(uint8_t type, const std::string& name, int16_t level, uint32_t size = 0) {
    List().items.push_back(std::make_unique<CFileItem>(type, name, size, 1000000000, level, 0));
    return *List().items.back();
  }
  CFileItemMediaDir& AddMedia(const std::string& name, int16_t level, const std::string& root) {
    auto media = std::make_unique<CFileItemMediaDir>();
    media->name = name;
    media->level = level;
    media->rootPath = root;
    auto& ref = *media;
    List().items.push_back(std::move(media));
    return ref;
  }
  // After the items are in: index, then panes as after any change.
  void Show() {
    List().RebuildContainerIndex();
    frame->RefreshPanes();
  }
};

// Runs act on the next modal dialog once it is shown (the code under test
// is blocked in its exec()); act must close it.
inline void WhenModal(std::function<void(QWidget*)> act) {
  auto* poll = new QTimer;
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    act(modal);
  });
  poll->start();
}

// A named control of a dialog.
template <typename T>
T* Child(QWidget* dialog, const char* name) {
  return dialog->findChild<T*>(QString::fromLatin1(name));
}

// The main window's models and views on large catalogs, offscreen: tree
// fill, list fill of one wide directory, a sort on each column and a
// rebuild after a rename, as ratios to the core's load of the same catalog,
// at three sizes to show the growth; and the GUI's memory per item.
//   QT_QPA_PLATFORM=offscreen bench_gui [largest-items]
#include <malloc.h>

#include <QApplication>
#include <QTreeView>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "app/Application.h"
#include "catalog/CatalogStream.h"
#include "ports/UiPort.h"
#include "query/Panes.h"
#include "ui/CatalogTree.h"
#include "ui/FileListView.h"
#include "ui/MainFrame.h"
#include "ui/QtUiPort.h"

namespace {

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

template <class F>
double Timed(F&& f) {
  const double t0 = CpuSeconds();
  f();
  return CpuSeconds() - t0;
}

size_t HeapBytes() { return mallinfo2().uordblks; }

class SilentUi : public IUiPort {
 public:
  int MessageBox(const std::string&, const std::string&, unsigned) override { return IDOK; }
};

// n items with n/10 containers: one medium holding a directory of n/10
// files, a parent of n/50 subdirectories, and the rest in directories of
// about ten items each.
void Fill(CFileItemList& list, size_t n) {
  auto add = [&](uint8_t type, std::string name, int16_t level, uint32_t size) {
    list.items.push_back(std::make_unique<CFileItem>(type, std::move(name), size, 1000000000u + size, level, 0));
  };
  auto media = std::make_unique<CFileItemMediaDir>();
  media->name = "Archive disc";
  media->level = 0;
  media->rootPath = "/nonexistent";
  list.items.push_back(std::move(media));
  const char* exts[] = {".jpg", ".mp3", ".exe", ".txt", ".doc", ".pdf", ".dll", ".zip"};
  add(ITEM_DIRECTORY, "Wide", 1, 0);
  for (size_t i = 0; i < n / 10; ++i)
    add(ITEM_FILE, "file" + std::to_string((i * 7919) % (n / 10)) + exts[i % 8], 2, static_cast<uint32_t>(i * 37 % 100000));
  add(ITEM_DIRECTORY, "Parent", 1, 0);
  for (size_t i = 0; i < n / 50; ++i) add(ITEM_DIRECTORY, "sub" + std::to_string((i * 104729) % (n / 50)), 2, 0);
  size_t d = 0;
  while (list.size() < n) {
    add(ITEM_DIRECTORY, "dir" + std::to_string(d++), 1, 0);
    for (int k = 0; k < 9 && list.size() < n; ++k) {
      std::string name = "f";  // appended: "f" + std::to_string(k) trips GCC 12's -Wrestrict at -O3
      name += std::to_string(k);
      add(ITEM_FILE, name + exts[k % 8], 2, 1000u * k);
    }
  }
  list.RebuildContainerIndex();
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qapp(argc, argv);
  const size_t largest = argc > 1 ? std::stoul(argv[1]) : 1000000;
  std::printf("%9s %8s %9s %9s %9s %9s %9s %7s\n", "items", "load s", "tree/ld", "list/ld", "sort/ld", "renm/ld",
              "show/ld", "B/item");
  for (size_t n = largest / 100; n <= largest; n *= 10) {
    QTemporaryDir dir;
    const std::string settings = dir.filePath(QStringLiteral("q.ini")).toStdString();
    std::ofstream(settings) << "[Config]\nLoadLastUsed=0\n";
    const std::string path = dir.filePath(QStringLiteral("big.qvd")).toStdString();
    {
      CFileItemList built;
      Fill(built, n);
      SaveCatalogFile(built, path);
    }
    SilentUi silent;
    CQuolvaneApp app;
    app.InitInstance(settings, std::string(), silent);
    CQuolvaneDoc& doc = *app.document;
    const double load = Timed([&] { LoadCatalogFile(doc.list, path); });
    QtUiPort port;
    const size_t heapBefore = HeapBytes();
    CMainFrame frame(app, port);
    doc.SetView(&frame);
    frame.resize(1000, 700);
    CTreeVarn* tree = frame.Tree();
    const double treeFill = Timed([&] { tree->Model()->Rebuild(); });
    const long wide = 1;
    const double listFill = Timed([&] { frame.List()->Fill(wide); });
    double sorts = 0;
    for (int c = 0; c < 5; ++c) sorts += Timed([&] { frame.List()->Model()->ClickColumn(c); });
    // Show the window and paint once, as the user's first sight of it.
    const double show = Timed([&] {
      tree->SelectItem(wide);
      frame.show();
      QApplication::processEvents();
    });
    const size_t heapAfter = HeapBytes();
    const double rename = Timed([&] { doc.Rename(0, "Renamed disc"); });
    std::printf("%9zu %8.3f %9.3f %9.3f %9.3f %9.3f %9.3f %7.1f\n", n, load, treeFill / load, listFill / load,
                sorts / 5 / load, rename / load, show / load,
                static_cast<double>(heapAfter > heapBefore ? heapAfter - heapBefore : 0) / static_cast<double>(n));
    doc.SetView(nullptr);
  }
  return 0;
}

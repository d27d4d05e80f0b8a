// The media clipboard through the system clipboard and the print job on a
// preview and a PDF file: what the window adds around the core's rules.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include "catalog/CatalogStream.h"
#include "query/Panes.h"
#include "ui/CatalogTree.h"
#include "ui/FrameCommands.h"
#include "ui/MediaClipboard.h"
#include "ui/StartUp.h"
#include "ui/UiTestUtil.h"

namespace {

// Media "Big" with 130 files, a directory with one more file, then a folder.
void BigMedia(UiFixture& f) {
  f.AddMedia("Big", 0, "/big");
  for (int i = 0; i < 130; ++i) f.Add(ITEM_FILE, "f" + std::to_string(1000 + i) + ".txt", 1, 2048u * i);
  f.Add(ITEM_DIRECTORY, "sub", 1);
  f.Add(ITEM_FILE, "deep.txt", 2, 10);
  f.Add(ITEM_FOLDER, "Archive", 0);
  f.Show();
}

QStringList Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitCode() != 0) {
    qWarning() << program << args << p.readAllStandardError();
    return {};
  }
  return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
}

// The non-blank lines of each page, trailing blanks and the page's left
// margin cut.
QList<QStringList> PageLines(const QStringList& pages) {
  QList<QStringList> out;
  for (const QString& page : pages) {
    QStringList lines;
    qsizetype margin = -1;
    for (QString line : page.split(QLatin1Char('\n'))) {
      while (line.endsWith(QLatin1Char(' '))) line.chop(1);
      if (line.isEmpty()) continue;
      const qsizetype indent = line.size() - line.trimmed().size();
      margin = margin < 0 ? indent : qMin(margin, indent);
      lines << line;
    }
    for (QString& line : lines) line.remove(0, margin);
    if (!lines.isEmpty()) out << lines;
  }
  return out;
}

}  // namespace

class PrintAndClipboardTest : public QObject {
  Q_OBJECT
 private slots:
  void CopyAndPasteThroughTheClipboard() {
    UiFixture f;
    BigMedia(f);
    new CFrameCommands(*f.frame);
    QGuiApplication::clipboard()->clear();
    QVERIFY(!f.frame->Action(CMD_PASTE_MEDIA)->isEnabled());

    // Not a media: Copy is off and leaves the clipboard alone.
    for (long item : {-1L, 1L, 131L, 133L}) {
      if (item >= 0) QVERIFY(f.frame->Tree()->SelectItem(item) || item == 1);
      f.Doc().currentIndex = item;
      f.frame->UpdateFrame();
      QVERIFY(!f.frame->Action(CMD_COPY_MEDIA)->isEnabled());
      f.frame->OnCommand(CMD_COPY_MEDIA);
      QVERIFY(!ClipboardOffersMedia());
    }

    QVERIFY(f.frame->Tree()->SelectItem(0));
    QCOMPARE(f.Doc().currentIndex, 0L);
    QVERIFY(f.frame->Action(CMD_COPY_MEDIA)->isEnabled());
    f.frame->OnCommand(CMD_COPY_MEDIA);
    const QByteArray bytes = QGuiApplication::clipboard()->mimeData()->data(kMediaMimeType);
    CFileItemList back;
    QVERIFY(ReadCatalogFromMemory(back, bytes.constData(), size_t(bytes.size())) == CatalogReadResult::Ok);
    QCOMPARE(back.size(), size_t(133));
    QCOMPARE(back[132]->level, int16_t(2));
    QVERIFY(f.frame->Action(CMD_PASTE_MEDIA)->isEnabled());

    f.Doc().SetModifiedFlag(false);
    f.frame->OnCommand(CMD_PASTE_MEDIA);
    f.frame->OnCommand(CMD_PASTE_MEDIA);
    QCOMPARE(f.List().size(), size_t(134 + 2 * 133));
    QCOMPARE(f.List()[134]->name, std::string("Big"));
    QVERIFY(f.Doc().IsModified());
    // Three media at the root now, the folder between them.
    QCOMPARE(f.frame->Tree()->model()->rowCount(f.frame->Tree()->model()->index(0, 0)), 4);

    // A damaged payload: the error box, nothing appended.
    auto* bad = new QMimeData;
    bad->setData(kMediaMimeType, bytes.left(bytes.size() / 2));
    QGuiApplication::clipboard()->setMimeData(bad);
    f.frame->OnCommand(CMD_PASTE_MEDIA);
    QCOMPARE(f.List().size(), size_t(134 + 2 * 133));
    QCOMPARE(f.scripted.boxes.size(), size_t(1));
  }

  void PreviewShowsEveryPage() {
    UiFixture f;
    BigMedia(f);
    auto* commands = new CFrameCommands(*f.frame);
    commands->Printer().setPageSize(QPageSize(QPageSize::A4));
    QVERIFY(f.frame->Tree()->SelectItem(0));
    f.scripted.print.push_back(InitialPrintFields(true));
    int pages = -1;
    QTimer::singleShot(0, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QPrintPreviewDialog*>(w);
        if (!dialog) continue;
        auto* preview = dialog->findChild<QPrintPreviewWidget*>();
        preview->updatePreview();
        pages = preview->pageCount();
        const QString png = qEnvironmentVariable("QV_PREVIEW_PNG");
        if (!png.isEmpty()) dialog->grab().save(png);
        dialog->reject();
      }
    });
    f.frame->OnCommand(CMD_PRINT_PREVIEW);
    // 130 files at 10 points on A4: more than 55 and fewer than 65 lines a page.
    QCOMPARE(pages, 3);
    // Cancel in the parameters dialog prints nothing.
    f.scripted.print.push_back(std::nullopt);
    pages = -1;
    f.frame->OnCommand(CMD_PRINT_PREVIEW);
    QCOMPARE(pages, -1);
  }

  void PdfPagesHoldTheLinesOfTheTextPrint() {
    UiFixture f;
    BigMedia(f);
    const QString catalog = f.dir.filePath(QStringLiteral("big.qvd"));
    SaveCatalogFile(f.List(), catalog.toStdString());
    const QString pdf = f.dir.filePath(QStringLiteral("big.pdf"));
    for (const char* content : {"--files", "--tree"}) {
      StartOptions options;
      char arg0[] = "quolvane";
      std::string a1 = "--print-pdf", a2 = pdf.toStdString(), a3 = catalog.toStdString(), a4 = content,
                  a5 = "--from=0", a6 = "--no-attributes";
      char* argv[] = {arg0, a1.data(), a2.data(), a3.data(), a4.data(), a5.data(), a6.data()};
      std::string error;
      QVERIFY2(ParseStartOptions(7, argv, options, error), error.c_str());
      QCOMPARE(PrintCatalogToPdf(options), 0);

      const QList<QStringList> pdfPages =
          // 10-point Courier New is 6 points a column: with that pitch the text
      // comes back in the columns it was printed in.
          PageLines(Run(QStringLiteral("pdftotext"),
                        {QStringLiteral("-layout"), QStringLiteral("-fixed"), QStringLiteral("6"), pdf, QStringLiteral("-")}));
      QVERIFY(!pdfPages.isEmpty());
      // Header lines, body, product name: the PDF's lines per page.
      const int perPage = int(pdfPages[0].size()) - 3;
      const QList<QStringList> textPages = PageLines(
          Run(QStringLiteral(QV_CLI_PATH), {QStringLiteral("print"), catalog, QString::fromLatin1(content),
                                            QStringLiteral("--from"), QStringLiteral("0"),
                                            QStringLiteral("--no-attributes"), QStringLiteral("--lines-per-page"),
                                            QString::number(qMax(perPage, 1))}));
      QCOMPARE(pdfPages.size(), textPages.size());
      for (int p = 0; p < pdfPages.size(); ++p) {
        // The rules are drawn lines in the PDF, text in the text print.
        QStringList text = textPages[p];
        text.removeAll(QString(81, QLatin1Char('-')));
        QCOMPARE(pdfPages[p], text);
      }
      if (QByteArray(content) == "--files") QCOMPARE(pdfPages.size(), 3);
    }

    // A catalog that cannot be read: exit status 1, no PDF.
    StartOptions bad;
    bad.catalog = f.dir.filePath(QStringLiteral("missing.qvd")).toStdString();
    bad.printPdf = f.dir.filePath(QStringLiteral("none.pdf")).toStdString();
    QCOMPARE(PrintCatalogToPdf(bad), 1);
    QVERIFY(!QFile::exists(QString::fromStdString(bad.printPdf)));
  }
};

QTEST_MAIN(PrintAndClipboardTest)
#include "PrintAndClipboardTest.moc"

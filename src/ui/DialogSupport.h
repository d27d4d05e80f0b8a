// Pieces every small dialog of the document shares.
#pragma once

#include <QDialog>
#include <algorithm>
#include <QFontMetrics>
#include <QPushButton>
#include <QString>
#include <cstdint>
#include <string>

#include "ui/Translate.h"

// Ok accepts, Cancel rejects.
template <typename Form>
void ConnectOkCancel(QDialog& dialog, Form& form) {
  QObject::connect(form.ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  QObject::connect(form.cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
}

// Descriptions hold CR LF line ends; the text controls speak LF.
inline QString FromStored(const std::string& text) {
  return QString::fromStdString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}
inline std::string ToStored(const QString& text) {
  QString t = text;
  t.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  return t.toStdString();
}

// A list column's width: the given one, but never too narrow for its
// heading, nor, for a date column, for a whole date and time.
inline int FittedColumnWidth(const QFontMetrics& metrics, const char* headingKey, const QString& heading, int width) {
  constexpr int kPadding = 24;  // cell margins and the sort arrow
  width = std::max(width, metrics.horizontalAdvance(heading) + kPadding);
  const std::string key = headingKey;
  if (key == "IDS_DATE" || key == "IDS_APPLI_DATE" || key == "IDS_RESULT_DATE" || key == "IDS_RESULTS_APPLI_DATE")
    width = std::max(width, metrics.horizontalAdvance(QStringLiteral("00/00/0000  00:00:00")) + kPadding);
  return width;
}

// A size beside the others of a window: bytes while small, then whole
// kilobytes with the digits grouped.
inline QString SpaceText(uint64_t bytes) {
  if (bytes < 10240) return QStringLiteral("%L1 %2").arg(bytes).arg(Tr("$$bytes"));
  return QStringLiteral("%L1 %2").arg(bytes / 1024).arg(Tr("$$Ko"));
}

// Pieces every small dialog of the document shares.
#pragma once

#include <QDialog>
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

// A size beside the others of a window: bytes while small, then whole
// kilobytes with the digits grouped.
inline QString SpaceText(uint64_t bytes) {
  if (bytes < 10240) return QStringLiteral("%L1 %2").arg(bytes).arg(Tr("$$bytes"));
  return QStringLiteral("%L1 %2").arg(bytes / 1024).arg(Tr("$$Ko"));
}

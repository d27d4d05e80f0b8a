// Pieces every small dialog of the document shares.
#pragma once

#include <QDialog>
#include <QPushButton>
#include <QString>
#include <string>

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

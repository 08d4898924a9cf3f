#include "brevio/app/message_box.h"

#include <QMessageBox>

namespace brevio::app {
namespace {

void Show(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, QString::fromLatin1(kProgramTitle), text, QMessageBox::Ok, owner);
  box.setObjectName(QString::fromLatin1(kMessageBoxName));
  box.exec();
}

}  // namespace

void ShowInformation(QWidget* owner, const QString& text) {
  Show(owner, QMessageBox::Information, text);
}

void ShowWarning(QWidget* owner, const QString& text) { Show(owner, QMessageBox::Warning, text); }

}  // namespace brevio::app

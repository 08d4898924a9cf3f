#include "brevio/app/message_box.h"

#include <QMessageBox>

#include "brevio/app/design_look.h"

namespace brevio::app {
namespace {

void Show(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, QString::fromLatin1(kProgramTitle), text, QMessageBox::Ok, owner);
  box.setObjectName(QString::fromLatin1(kMessageBoxName));
  ApplyDesignLook(&box);
  // A screen reader announcing the box reads its message, not only the title.
  box.setAccessibleDescription(text);
  box.exec();
}

}  // namespace

void ShowInformation(QWidget* owner, const QString& text) {
  Show(owner, QMessageBox::Information, text);
}

void ShowWarning(QWidget* owner, const QString& text) { Show(owner, QMessageBox::Warning, text); }

bool AskYesNo(QWidget* owner, const QString& text) {
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(kProgramTitle), text,
                  QMessageBox::Yes | QMessageBox::No, owner);
  box.setObjectName(QString::fromLatin1(kMessageBoxName));
  ApplyDesignLook(&box);
  box.setAccessibleDescription(text);
  // No unless Yes is chosen: Enter, Escape and the close box all say No.
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace brevio::app

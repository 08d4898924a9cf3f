// The one way the window shows message boxes, so every box carries the
// program's title and an object name that tests can find.
#pragma once

#include <QString>

class QWidget;

namespace brevio::app {

inline constexpr const char* kProgramTitle = "Brevio";
inline constexpr const char* kMessageBoxName = "brevioMessageBox";

// Information icon, one OK button, title "Brevio"; waits until closed.
void ShowInformation(QWidget* owner, const QString& text);

// Warning icon, one OK button, title "Brevio"; waits until closed.
void ShowWarning(QWidget* owner, const QString& text);
// Question icon, Yes and No with No the default, title "Brevio"; true for Yes.
bool AskYesNo(QWidget* owner, const QString& text);

}  // namespace brevio::app

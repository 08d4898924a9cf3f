// The CTarnex calls the window makes, with Qt strings on our side and BSTRs on
// the library's.
#pragma once

#include <comrt.h>
#include <tarnex.h>

#include <QString>

namespace brevio::app {

QString RipFile(_CTarnex* t, const QString& path);
QString JoinPathFile2(_CTarnex* t, const QString& folder, const QString& file);
QString GetDir(_CTarnex* t, LONG window);
void OpenWebNew(_CTarnex* t, const QString& address);

}  // namespace brevio::app

// Brevio's window program: the main window is the whole start-up.
#include <comrt.h>

#include <QApplication>

#include "brevio/app/frm_main.h"
#include "fileio/replace.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  fileio::RemoveTempFilesOnSignals();
  QApplication::setApplicationName(QStringLiteral("Brevio"));
  CoInitialize(nullptr);
  {
    // An installed copy registers the library it came with on its first start
    // for this user; the window still creates its own object on first use.
    comrt::ComPtr<_CTarnex> probe;
    brevio::app::TarnexCreator(brevio::app::TarnexCreator::InstalledLibraryFolder()).Create(probe);
  }
  int status = 0;
  {
    brevio::app::frmMain window;
    window.ShowCentred();
    status = QApplication::exec();
  }  // the window, and with it the CTarnex object, goes before the runtime
  CoUninitialize();
  return status;
}

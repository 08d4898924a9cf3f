// The window's batch run, timed: frmMain (offscreen unless a display is
// asked for) gets a folder dropped on its list, an output folder and a click
// on Trim; the run ends at its closing box. Prints the seconds from the click
// to the box and the longest the window's thread was kept from answering
// meanwhile. With hyperfine beside `brevio-trim -o` (window_vs_cli.sh).
// Usage: brevio-bench-window PAGES_FOLDER OUTPUT_FOLDER
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "brevio/app/frm_main.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: brevio-bench-window PAGES_FOLDER OUTPUT_FOLDER\n");
    return 2;
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  brevio::app::frmMain window{brevio::app::TarnexCreator(QString())};
  window.show();
  window.form().ListView1_Drop({argv[1]});
  const auto rows = window.form().rows().size();
  if (rows == 0) {
    std::fprintf(stderr, "brevio-bench-window: no pages in %s\n", argv[1]);
    return 1;
  }
  window.findChild<QLineEdit*>(QStringLiteral("txtOutput"))
      ->setText(QString::fromLocal8Bit(argv[2]));

  // The longest gap between ticks of a 5 ms timer: how long the window
  // could not have answered a key or repainted.
  QElapsedTimer since_tick;
  qint64 longest_gap = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout,
                   [&] { longest_gap = std::max(longest_gap, since_tick.restart()); });
  QString said;
  QElapsedTimer run;
  qint64 run_ms = -1;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    if (run_ms < 0) run_ms = run.elapsed();
    said = box->text();
    box->done(QMessageBox::Ok);
    QTimer::singleShot(0, [] { QApplication::quit(); });
  });
  QTimer::singleShot(0, [&] {
    watch.start(1);
    ticker.start(5);
    since_tick.start();
    run.start();
    window.findChild<QPushButton*>(QStringLiteral("cmdTrim2"))->click();
  });
  QApplication::exec();
  std::printf(
      "%zu files: %.3f s from Trim to the closing box; window thread held at most %lld ms\n", rows,
      static_cast<double>(run_ms) / 1000.0, static_cast<long long>(longest_gap));
  if (said != QStringLiteral("Trim Finished.")) {
    std::fprintf(stderr, "brevio-bench-window: the run ended with: %s\n", qPrintable(said));
    return 1;
  }
  return 0;
}

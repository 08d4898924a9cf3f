#include "plain_reason.h"

#include <fileio/file_error.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace brevio::app {
namespace {

using fileio::Step;

struct Failure {
  Step step;
  QString path;
  int error;
};

// The step of an error from the older engine, which said it in its message
// ("filesystem error: cannot create: ... [path]"); it named the target where
// the temporary file could not be made.
std::optional<Failure> FromFilesystemError(const std::filesystem::filesystem_error& e) {
  const struct {
    const char* phrase;
    Step step;
  } steps[] = {
      {": cannot create:", Step::kCreateTemp}, {": cannot examine:", Step::kExamine},
      {": cannot open:", Step::kOpenSource},   {": cannot read:", Step::kReadSource},
      {": cannot write:", Step::kWriteTarget}, {": cannot set permissions:", Step::kKeepMetadata},
      {": cannot replace:", Step::kReplace},
  };
  const std::string what = e.what();
  QString path = QFile::decodeName(QByteArray::fromStdString(e.path1().string()));
  for (const auto& s : steps) {
    if (what.find(s.phrase) == std::string::npos) continue;
    if (s.step == Step::kCreateTemp) path = QFileInfo(path).path();
    return Failure{s.step, path, e.code().value()};
  }
  return std::nullopt;
}

bool ReadsTheSource(Step step) {
  return step == Step::kExamine || step == Step::kOpenSource || step == Step::kReadSource;
}

// The folder a target-side step wrote into.
QString FolderOf(const Failure& f) {
  return f.step == Step::kCreateTemp ? f.path : QFileInfo(f.path).path();
}

QString SystemText(int error) {
  return QString::fromStdString(std::system_category().message(error));
}

// Words for a failure in reading the source; empty when the reason has none.
QString SourceWords(const QString& path, int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case EIO:
      return QStringLiteral("%1 can no longer be read.").arg(path);
    case EACCES:
    case EPERM:
      return QStringLiteral("You may not read %1.").arg(path);
    default:
      return {};
  }
}

// Words for a failure in writing the target; empty when the reason has none.
QString TargetWords(const Failure& f) {
  const QString& path = f.path;
  // The file itself for steps on the target file, else the folder it goes into.
  const bool on_file =
      f.step == Step::kOpenTarget || f.step == Step::kWriteTarget || f.step == Step::kKeepMetadata;
  const QString folder = FolderOf(f);
  switch (f.error) {
    case ENOENT:
      if (f.step == Step::kRefuseTarget) {
        return QStringLiteral("%1 is a symbolic link to a file that does not exist.").arg(path);
      }
      return QStringLiteral("The folder %1 does not exist.").arg(folder);
    case ENOTDIR:
      return QStringLiteral("%1 is not a folder.").arg(folder);
    case EACCES:
    case EPERM:
      return QStringLiteral("You may not write to %1.").arg(on_file ? path : folder);
    case EROFS:
      return QStringLiteral("%1 lies on a disk that may only be read.").arg(folder);
    case ENOSPC:
      return QStringLiteral("The disk that holds %1 is full.").arg(folder);
    case EDQUOT:
      return QStringLiteral("Your share of the disk that holds %1 is used up.").arg(folder);
    case EFBIG:
      return QStringLiteral("%1 would grow larger than this system allows a file to be.").arg(path);
    default:
      return {};
  }
}

QString Words(const Failure& f) {
  const QString& path = f.path;
  // The same words whichever file the step was on.
  if (f.error == EISDIR) return QStringLiteral("%1 is a folder, not a file.").arg(path);
  if (f.error == ELOOP) {
    return QStringLiteral("%1 is a symbolic link that leads round in a circle.").arg(path);
  }
  QString words = ReadsTheSource(f.step) ? SourceWords(path, f.error) : TargetWords(f);
  if (!words.isEmpty()) return words;
  return QStringLiteral("Trimming %1 failed: %2.").arg(path, SystemText(f.error));
}

}  // namespace

QString PlainReason(const std::exception& error) {
  if (const auto* file = dynamic_cast<const fileio::FileError*>(&error)) {
    return Words({file->step(), QFile::decodeName(QByteArray::fromStdString(file->path())),
                  file->code().value()});
  }
  if (const auto* fs = dynamic_cast<const std::filesystem::filesystem_error*>(&error)) {
    if (const auto failure = FromFilesystemError(*fs)) return Words(*failure);
  }
  if (const auto* sys = dynamic_cast<const std::system_error*>(&error)) {
    return QStringLiteral("Trimming failed: %1.").arg(SystemText(sys->code().value()));
  }
  return QString::fromLocal8Bit(error.what());
}

}  // namespace brevio::app

// Records one start: "<cwd>\0<flags>\0<argv0 name>\0<arg1>\0..." into
// $BREVIO_RECORD_DIR/<pid>.rec (written whole through a rename). Flags:
// L = leads its own session, N = stdin is /dev/null, M = empty signal mask.
// With $BREVIO_RECORD_HOLD set, it then waits (at most a minute) until that
// file exists, so a test can show that the caller did not wait for it, and
// then leaves <pid>.done.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const char* dir = std::getenv("BREVIO_RECORD_DIR");
  if (dir == nullptr) return 2;
  std::string rec;
  char cwd[4096];
  rec += getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?";
  rec += '\0';
  if (getsid(0) == getpid()) rec += 'L';
  struct stat in {};
  struct stat null {};
  if (fstat(0, &in) == 0 && stat("/dev/null", &null) == 0 && in.st_rdev == null.st_rdev &&
      S_ISCHR(in.st_mode)) {
    rec += 'N';
  }
  sigset_t mask;
  sigprocmask(SIG_BLOCK, nullptr, &mask);
  if (sigismember(&mask, SIGUSR1) == 0) rec += 'M';
  rec += '\0';
  std::string name = argv[0];
  rec += name.substr(name.rfind('/') + 1);
  rec += '\0';
  for (int i = 1; i < argc; ++i) {
    rec += argv[i];
    rec += '\0';
  }
  const std::string base = std::string(dir) + "/" + std::to_string(getpid());
  const std::string temp = base + ".tmp";
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, rec.data(), rec.size()) != static_cast<ssize_t>(rec.size())) return 3;
  close(fd);
  rename(temp.c_str(), (base + ".rec").c_str());
  if (const char* hold = std::getenv("BREVIO_RECORD_HOLD")) {
    for (int i = 0; i < 600 && access(hold, F_OK) != 0; ++i) usleep(100000);
    const int done = open((base + ".done").c_str(), O_WRONLY | O_CREAT, 0644);
    if (done >= 0) close(done);
  }
  return 0;
}

#pragma once
// What ends brevio-trim --watch when the console does not: a test, or a
// program that runs the command in its own process, raises it from any
// thread, and the watch ends after the files under way.

namespace brevio::cli {

class WatchStop {
 public:
  // What the watch waits on: a descriptor that becomes readable (POSIX),
  // an event that becomes signalled (Windows, a HANDLE).
#if defined(_WIN32)
  using Native = void*;
#else
  using Native = int;
#endif

  // Throws std::system_error when the system gives none.
  WatchStop();
  ~WatchStop();
  WatchStop(const WatchStop&) = delete;
  WatchStop& operator=(const WatchStop&) = delete;

  void Raise() const;
  Native native() const { return native_; }

 private:
  Native native_;
};

}  // namespace brevio::cli

#pragma once
// A console window on Windows shows the bytes written to it in its code
// page (437, 850 ...), not as UTF-8: text for a console goes as UTF-16
// through WriteConsoleW instead, while redirected output (a file, a pipe)
// stays UTF-8 bytes. Other systems have no such consoles.

#include <string>
#include <string_view>

namespace brevio::cli {

// UTF-8 that arrives in pieces, which may end inside a character, as
// UTF-16. A byte that starts no character becomes U+FFFD.
class ConsoleText {
 public:
  // The UTF-16 of the complete characters so far; a character cut short at
  // the end of the piece waits for the next one.
  std::u16string Take(std::string_view bytes);
  // What waits, as U+FFFD: the text ended inside a character.
  std::u16string Finish();

 private:
  std::string pending_;
};

// Whether the descriptor is a console window (Windows; false elsewhere).
bool IsConsole(int fd);

// Writes all of text to the console behind fd. Returns 0 or an errno.
int WriteConsoleText(int fd, std::u16string_view text);

}  // namespace brevio::cli

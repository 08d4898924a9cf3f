// The per-user registry store: parsing, printing and atomic updates.
#include <comrt_registry.h>
#include <comrt_text.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "fileio/file_error.h"
#include "fileio/replace.h"

namespace comrt {
namespace {

using ascii::StartsWithNoCase;

std::string Normalize(std::string_view key) {
  // Stray separators at either end carry no meaning.
  while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return std::string(key);
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out += c;
    }
  }
  return out + '"';
}

// Reads a quoted string at s[pos]; leaves pos after the closing quote.
bool Unquote(std::string_view s, std::size_t& pos, std::string& out) {
  if (pos >= s.size() || s[pos] != '"') return false;
  out.clear();
  for (++pos; pos < s.size(); ++pos) {
    char c = s[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\' && pos + 1 < s.size()) {
      char e = s[++pos];
      out += e == 'n' ? '\n' : e == 'r' ? '\r' : e == '0' ? '\0' : e;
    } else {
      out += c;
    }
  }
  return false;
}

[[noreturn]] void ThrowErrno(const std::string& what, const std::filesystem::path& path) {
  throw std::system_error(errno, std::generic_category(), what + " " + path.string());
}

using fileio::Fd;

}  // namespace

bool NoCaseLess::operator()(std::string_view a, std::string_view b) const {
  return ascii::CompareNoCase(a, b) < 0;
}

Registry Registry::Parse(std::string_view text) {
  Registry reg;
  std::string current;
  bool in_key = false;
  while (!text.empty()) {
    std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      // A header without a name ends the current key, so nothing lands in the wrong one.
      current = Normalize(line.substr(1, line.size() - 2));
      in_key = !current.empty();
      if (in_key) reg.CreateKey(current);
      continue;
    }
    if (!in_key) continue;
    std::size_t pos = 0;
    std::string name, value;
    if (line.front() == '@') {
      pos = 1;
    } else if (!Unquote(line, pos, name)) {
      continue;
    }
    if (pos >= line.size() || line[pos] != '=') continue;
    ++pos;
    if (!Unquote(line, pos, value) || pos != line.size()) continue;
    reg.SetValue(current, name, value);
  }
  return reg;
}

std::string Registry::Serialize() const {
  std::string out =
      "; comrt registry: the classes root of this user, written by regsvr.\n"
      "; [key path] lines, then @=\"default value\" and \"name\"=\"value\" lines.\n";
  for (const auto& [path, key] : keys_) {
    out += "\n[" + key.name + "]\n";
    for (const auto& [lname, nv] : key.values) {
      out += nv.first.empty() ? std::string("@") : Quote(nv.first);
      out += '=' + Quote(nv.second) + '\n';
    }
  }
  return out;
}

bool Registry::KeyExists(std::string_view key) const { return keys_.count(Normalize(key)) != 0; }

std::optional<std::string> Registry::GetValue(std::string_view key, std::string_view name) const {
  auto k = keys_.find(Normalize(key));
  if (k == keys_.end()) return std::nullopt;
  auto v = k->second.values.find(name);
  if (v == k->second.values.end()) return std::nullopt;
  return v->second.second;
}

std::vector<std::string> Registry::ValueNames(std::string_view key) const {
  std::vector<std::string> names;
  auto k = keys_.find(Normalize(key));
  if (k != keys_.end()) {
    for (const auto& [lname, nv] : k->second.values) names.push_back(nv.first);
  }
  return names;
}

std::vector<std::string> Registry::SubKeys(std::string_view key) const {
  std::string prefix = Normalize(key);
  if (!prefix.empty()) prefix += '\\';
  std::vector<std::string> out;
  for (auto it = keys_.lower_bound(prefix); it != keys_.end(); ++it) {
    if (!StartsWithNoCase(it->first, prefix)) break;
    std::string_view rest = std::string_view(it->second.name).substr(prefix.size());
    if (rest.find('\\') == std::string_view::npos) out.emplace_back(rest);
  }
  return out;
}

void Registry::CreateKey(std::string_view key) {
  std::string path = Normalize(key);
  if (path.empty()) return;
  for (std::size_t pos = 0;;) {
    std::size_t sep = path.find('\\', pos);
    std::string part = path.substr(0, sep);
    if (!keys_.count(part)) keys_[part].name = part;
    if (sep == std::string::npos) break;
    pos = sep + 1;
  }
}

void Registry::SetValue(std::string_view key, std::string_view name, std::string_view value) {
  CreateKey(key);
  auto& values = keys_.find(Normalize(key))->second.values;
  auto it = values.find(name);
  if (it == values.end()) {
    values.emplace(std::string(name), std::make_pair(std::string(name), std::string(value)));
  } else {
    it->second.second = std::string(value);
  }
}

bool Registry::DeleteValue(std::string_view key, std::string_view name) {
  auto k = keys_.find(Normalize(key));
  if (k == keys_.end()) return false;
  auto v = k->second.values.find(name);
  if (v == k->second.values.end()) return false;
  k->second.values.erase(v);
  return true;
}

bool Registry::DeleteTree(std::string_view key) {
  std::string path = Normalize(key);
  auto self = keys_.find(path);
  if (self == keys_.end()) return false;
  keys_.erase(self);
  std::string prefix = path + '\\';
  for (auto it = keys_.lower_bound(prefix);
       it != keys_.end() && StartsWithNoCase(it->first, prefix);) {
    it = keys_.erase(it);
  }
  // Prune parents that held nothing but the removed tree.
  for (std::size_t sep = path.rfind('\\'); sep != std::string::npos; sep = path.rfind('\\')) {
    path.resize(sep);
    auto parent = keys_.find(path);
    if (parent == keys_.end() || !parent->second.values.empty() || !SubKeys(path).empty()) break;
    keys_.erase(parent);
  }
  return true;
}

std::filesystem::path RegistryPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path base;
  if (xdg && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home && *home ? home : "/") / ".config";
  }
  return base / "comrt" / "registry.reg";
}

Registry ReadRegistry(const std::filesystem::path& file) {
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return Registry();
    ThrowErrno("cannot open the registry", file);
  }
  std::string text;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno("cannot read the registry", file);
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  return Registry::Parse(text);
}

void UpdateRegistry(const std::function<void(Registry&)>& change,
                    const std::filesystem::path& file) {
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  if (ec) {
    throw fileio::FileError(fileio::Step::kMakeFolder, file.parent_path().string(), ec.value());
  }

  std::filesystem::path lock_path = file;
  lock_path += ".lock";
  Fd lock(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() < 0) ThrowErrno("cannot open the lock file", lock_path);
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) ThrowErrno("cannot lock", lock_path);
  }
  // Closing the lock descriptor at the end releases the lock.

  Registry reg = ReadRegistry(file);
  change(reg);
  std::string text = reg.Serialize();

  // "registry.reg.XXXXXX" beside it while written; the store keeps its
  // owner, mode, ACLs and attributes, and a first one is private.
  fileio::ReplaceContents(file.string(), text, {"", "."}, 0600);
}

}  // namespace comrt

// The per-user registry store of the component runtime: the classes root of the
// Windows registry (keys such as CLSID\{...}\InprocServer32) kept in a text file
// a person can read, $XDG_CONFIG_HOME/comrt/registry.reg (default ~/.config).
//
// Key paths use the backslash; names of keys and values compare without regard
// to ASCII case. Every value is a string; "" names a key's default value.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace comrt {

struct NoCaseLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

// One snapshot of the store, read and changed in memory.
class Registry {
 public:
  // Parses the file text; lines it does not understand are skipped.
  static Registry Parse(std::string_view text);
  std::string Serialize() const;

  bool KeyExists(std::string_view key) const;
  std::optional<std::string> GetValue(std::string_view key, std::string_view name = {}) const;
  std::vector<std::string> ValueNames(std::string_view key) const;
  std::vector<std::string> SubKeys(std::string_view key) const;  // direct children only
  bool empty() const { return keys_.empty(); }

  // Creates the key and its missing parents.
  void CreateKey(std::string_view key);
  // Creates the key as needed and sets the value.
  void SetValue(std::string_view key, std::string_view name, std::string_view value);
  bool DeleteValue(std::string_view key, std::string_view name);
  // Removes the key with all its subkeys; then removes parents left with neither
  // values nor subkeys, so that a tree written into an empty store and deleted
  // again leaves the store empty. Returns whether the key existed.
  bool DeleteTree(std::string_view key);

 private:
  struct Key {
    std::string name;  // as first written
    std::map<std::string, std::pair<std::string, std::string>, NoCaseLess> values;
  };
  std::map<std::string, Key, NoCaseLess> keys_;
};

// $XDG_CONFIG_HOME/comrt/registry.reg, or ~/.config/comrt/registry.reg.
std::filesystem::path RegistryPath();

// Reads the store; a missing file is an empty store. Throws std::system_error
// when the file exists but cannot be read.
Registry ReadRegistry(const std::filesystem::path& file = RegistryPath());

// Applies one change: under an exclusive flock on "<file>.lock", reads the store,
// calls change(registry), and when it returns writes the result to a temporary
// file in the same folder, flushes it and renames it over the store. Throws
// std::system_error on a failure of the file system; the store is then unchanged.
void UpdateRegistry(const std::function<void(Registry&)>& change,
                    const std::filesystem::path& file = RegistryPath());

}  // namespace comrt

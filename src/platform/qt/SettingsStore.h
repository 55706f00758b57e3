// The per-user settings store: a hierarchical key/value store with typed
// values, laid out like the registry's current-user hive. A key path
// "\Software\<company>\<program>" is one file of QSettings, organisation
// <company> and application <program>; deeper keys are groups inside it.
//
// Values keep their type (string or 32-bit integer) through a file format of
// our own, so a value written as one type is never read back as another.
// Every write goes to disk at once through QSettings' atomic save. One store
// may be used from several threads (the desktop program's window and its
// run); each call is served whole before the next.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class QSettings;

namespace vivurozed {

class TSettingsStore {
 public:
  // An empty or malformed key path gives a store that holds nothing and
  // refuses every write.
  explicit TSettingsStore(const std::string& keyPath);
  ~TSettingsStore();
  TSettingsStore(const TSettingsStore&) = delete;
  TSettingsStore& operator=(const TSettingsStore&) = delete;

  const std::string& KeyPath() const { return keyPath_; }
  // The key exists once any value was written under it.
  bool KeyExists() const;
  bool ValueExists(const std::string& name) const;

  // Empty when the value is missing or of the other type.
  std::optional<std::int32_t> ReadInteger(const std::string& name) const;
  std::optional<std::string> ReadString(const std::string& name) const;

  // False when the store could not be written, or the name holds a slash or
  // backslash (those separate keys).
  bool WriteInteger(const std::string& name, std::int32_t value);
  bool WriteString(const std::string& name, const std::string& value);
  bool DeleteValue(const std::string& name);
  // True after a write that could not reach the disk; the value is still
  // held here and every later write tries again.
  bool WritePending() const;
  // Writes between these reach the disk together when the outermost batch
  // ends: the many values saved on exit cost one rewrite of the file, not
  // one each. Reads within a batch see the batch's values.
  void BeginBatch();
  bool EndBatch();

  // Folder that holds the per-user store (tests use a temporary folder).
  static void SetFolder(const std::filesystem::path& folder);
  // The file a key path lives in, under the current folder.
  std::filesystem::path FileName() const;

 private:
  void Open();
  bool Commit();
  std::string keyPath_;
  std::string organisation_, application_;
  std::string group_;  // keys below the program's, as a QSettings group
  mutable std::mutex mutex_;
  std::unique_ptr<QSettings> settings_;
  bool writePending_ = false;
  int batch_ = 0;
  bool batchWritten_ = false;
};

}  // namespace vivurozed

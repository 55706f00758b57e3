#include "platform/qt/SettingsStore.h"

#include <QIODevice>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdio>
#include <vector>

namespace vivurozed {
namespace {

// The file starts with this line; a file without it is not ours and reads
// as an empty store.
constexpr const char* kHeader = "VIVUROZED SETTINGS 1";

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (unsigned char c : text) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted, escaped string starting at text[pos] == '"'; pos ends
// after the closing quote.
bool Unquote(const std::string& text, std::size_t& pos, std::string& out) {
  if (pos >= text.size() || text[pos] != '"') return false;
  out.clear();
  for (++pos; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++pos >= text.size()) return false;
    c = text[pos];
    if (c == '\\' || c == '"') {
      out += c;
    } else if (c == 'x' && pos + 2 < text.size()) {
      int hi = HexDigit(text[pos + 1]), lo = HexDigit(text[pos + 2]);
      if (hi < 0 || lo < 0) return false;
      out += static_cast<char>(hi * 16 + lo);
      pos += 2;
    } else {
      return false;
    }
  }
  return false;
}

// One line: "name"="text" or "name"=dword:1234abcd. Malformed lines are
// skipped so that one damaged line does not cost every other setting.
void ParseLine(const std::string& line, QSettings::SettingsMap& map) {
  std::size_t pos = 0;
  std::string name;
  if (!Unquote(line, pos, name) || name.empty()) return;
  if (pos >= line.size() || line[pos] != '=') return;
  ++pos;
  if (pos < line.size() && line[pos] == '"') {
    std::string value;
    if (!Unquote(line, pos, value) || pos != line.size()) return;
    map.insert(QString::fromStdString(name), QVariant(QString::fromStdString(value)));
    return;
  }
  const std::string prefix = "dword:";
  if (line.compare(pos, prefix.size(), prefix) != 0) return;
  pos += prefix.size();
  if (line.size() - pos != 8) return;
  std::uint32_t bits = 0;
  for (; pos < line.size(); ++pos) {
    int d = HexDigit(line[pos]);
    if (d < 0) return;
    bits = bits * 16 + static_cast<std::uint32_t>(d);
  }
  map.insert(QString::fromStdString(name), QVariant(static_cast<std::int32_t>(bits)));
}

bool ReadStore(QIODevice& device, QSettings::SettingsMap& map) {
  const QByteArray all = device.readAll();
  const std::string text(all.constData(), static_cast<std::size_t>(all.size()));
  std::size_t start = 0;
  bool first = true;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first) {
      if (line != kHeader) return false;
      first = false;
    } else if (!line.empty()) {
      ParseLine(line, map);
    }
    start = end + 1;
  }
  return !first;
}

bool WriteStore(QIODevice& device, const QSettings::SettingsMap& map) {
  std::string text = kHeader;
  text += '\n';
  for (auto it = map.cbegin(); it != map.cend(); ++it) {
    text += '"' + Escape(it.key().toStdString()) + "\"=";
    const QVariant& v = it.value();
    const int type = v.metaType().id();
    if (type == QMetaType::Int || type == QMetaType::Bool) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<std::uint32_t>(v.toInt()));
      text += hex;
    } else {
      text += '"' + Escape(v.toString().toStdString()) + '"';
    }
    text += '\n';
  }
  return device.write(text.data(), static_cast<qint64>(text.size())) ==
         static_cast<qint64>(text.size());
}

QSettings::Format StoreFormat() {
  static const QSettings::Format format = QSettings::registerFormat("reg", ReadStore, WriteStore);
  return format;
}

bool ValidName(const std::string& name) {
  return !name.empty() && name.find_first_of("/\\") == std::string::npos;
}

}  // namespace

TSettingsStore::TSettingsStore(const std::string& keyPath) : keyPath_(keyPath) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= keyPath.size()) {
    std::size_t end = keyPath.find('\\', start);
    if (end == std::string::npos) end = keyPath.size();
    if (end > start) parts.push_back(keyPath.substr(start, end - start));
    start = end + 1;
  }
  if (parts.size() < 3 || QString::fromStdString(parts[0]).compare("Software", Qt::CaseInsensitive))
    return;
  for (std::size_t i = 1; i < parts.size(); ++i)
    if (parts[i].find('/') != std::string::npos) return;
  for (std::size_t i = 3; i < parts.size(); ++i) group_ += (group_.empty() ? "" : "/") + parts[i];
  organisation_ = parts[1];
  application_ = parts[2];
  Open();
}

void TSettingsStore::Open() {
  settings_ = std::make_unique<QSettings>(StoreFormat(), QSettings::UserScope,
                                          QString::fromStdString(organisation_),
                                          QString::fromStdString(application_));
  // Only this key's own file counts, as in the registry: no organisation-wide
  // or system-wide file lends its values.
  settings_->setFallbacksEnabled(false);
  if (!group_.empty()) settings_->beginGroup(QString::fromStdString(group_));
}

TSettingsStore::~TSettingsStore() = default;

void TSettingsStore::SetFolder(const std::filesystem::path& folder) {
  QSettings::setPath(StoreFormat(), QSettings::UserScope, QString::fromStdString(folder.string()));
}

std::filesystem::path TSettingsStore::FileName() const {
  const std::lock_guard lock(mutex_);
  if (!settings_) return {};
  return settings_->fileName().toStdString();
}

bool TSettingsStore::KeyExists() const {
  const std::lock_guard lock(mutex_);
  if (!settings_) return false;
  if (batch_ == 0) settings_->sync();
  return !settings_->allKeys().isEmpty();
}

bool TSettingsStore::ValueExists(const std::string& name) const {
  const std::lock_guard lock(mutex_);
  if (!settings_ || !ValidName(name)) return false;
  if (batch_ == 0) settings_->sync();
  return settings_->contains(QString::fromStdString(name));
}

std::optional<std::int32_t> TSettingsStore::ReadInteger(const std::string& name) const {
  const std::lock_guard lock(mutex_);
  if (!settings_ || !ValidName(name)) return std::nullopt;
  // Another store object or process may have written since.
  if (batch_ == 0) settings_->sync();
  const QVariant v = settings_->value(QString::fromStdString(name));
  if (v.metaType().id() != QMetaType::Int) return std::nullopt;
  return v.toInt();
}

std::optional<std::string> TSettingsStore::ReadString(const std::string& name) const {
  const std::lock_guard lock(mutex_);
  if (!settings_ || !ValidName(name)) return std::nullopt;
  if (batch_ == 0) settings_->sync();
  const QVariant v = settings_->value(QString::fromStdString(name));
  if (v.metaType().id() != QMetaType::QString) return std::nullopt;
  return v.toString().toStdString();
}

bool TSettingsStore::WritePending() const {
  const std::lock_guard lock(mutex_);
  return writePending_;
}

void TSettingsStore::BeginBatch() {
  const std::lock_guard lock(mutex_);
  ++batch_;
}

bool TSettingsStore::EndBatch() {
  const std::lock_guard lock(mutex_);
  if (batch_ == 0 || --batch_ > 0 || !batchWritten_ || !settings_) return !writePending_;
  batchWritten_ = false;
  return Commit();
}

bool TSettingsStore::Commit() {
  if (batch_ > 0) {
    batchWritten_ = true;
    return true;
  }
  settings_->sync();
  writePending_ = false;
  if (settings_->status() == QSettings::NoError) return true;
  // The status keeps the first error, which may be an unreadable store met
  // before this write. A fresh object on the same file tells whether the
  // write is still pending (it tries again and fails) or has landed.
  Open();
  settings_->sync();
  writePending_ = settings_->status() != QSettings::NoError;
  return !writePending_;
}

bool TSettingsStore::WriteInteger(const std::string& name, std::int32_t value) {
  const std::lock_guard lock(mutex_);
  if (!settings_ || !ValidName(name)) return false;
  settings_->setValue(QString::fromStdString(name), QVariant(value));
  return Commit();
}

bool TSettingsStore::WriteString(const std::string& name, const std::string& value) {
  const std::lock_guard lock(mutex_);
  if (!settings_ || !ValidName(name)) return false;
  settings_->setValue(QString::fromStdString(name), QVariant(QString::fromStdString(value)));
  return Commit();
}

bool TSettingsStore::DeleteValue(const std::string& name) {
  const std::lock_guard lock(mutex_);
  if (!settings_ || !ValidName(name)) return false;
  settings_->remove(QString::fromStdString(name));
  return Commit();
}

}  // namespace vivurozed

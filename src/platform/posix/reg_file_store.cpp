#include "platform/posix/reg_file_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace velmora {

namespace {

constexpr std::string_view kHive = "HKEY_CURRENT_USER";
constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
// Longest line of a wrapped hex list, the trailing ",\" included (regedit's width).
constexpr size_t kHexLineWidth = 80;
constexpr size_t kNotFound = std::string_view::npos;

struct Value {
  std::string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

struct Key {
  std::string path;  // the full path as the file spells it, hive included
  std::vector<Value> values;
};

struct Document {
  std::vector<Key> keys;
  bool damaged = false;
};

// ---- Code page 932 text

bool IsLeadByte(char c) {
  const auto b = static_cast<uint8_t>(c);
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Bytes in the character at text[i]: two for a lead byte with a byte after it.
size_t CharLength(std::string_view text, size_t i) { return IsLeadByte(text[i]) && i + 1 < text.size() ? 2 : 1; }

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// How many bytes of `text` match all of `prefix`, comparing ASCII letters without regard to
// case and double-byte characters exactly; kNotFound when `prefix` does not start `text`.
size_t MatchPrefix(std::string_view text, std::string_view prefix) {
  size_t i = 0;
  while (i < prefix.size()) {
    if (i >= text.size()) return kNotFound;
    const size_t n = CharLength(prefix, i);
    if (CharLength(text, i) != n) return kNotFound;
    if (n == 1 ? FoldAscii(text[i]) != FoldAscii(prefix[i]) : text.substr(i, 2) != prefix.substr(i, 2)) {
      return kNotFound;
    }
    i += n;
  }
  return i;
}

bool SameName(std::string_view a, std::string_view b) { return a.size() == b.size() && MatchPrefix(a, b) == a.size(); }

bool HasLineBreakOrNul(std::string_view text) { return text.find_first_of(std::string_view("\0\r\n", 3)) != kNotFound; }

// Whether the text ends in a lead byte with no trail byte: it cannot be put between quotes
// and read back as double-byte text, since the lead byte would take the closing quote.
bool EndsInLoneLeadByte(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    if (CharLength(text, i) == 1 && IsLeadByte(text[i])) return true;
    i += CharLength(text, i);
  }
  return false;
}

// The text between quotes with single-byte '\' and '"' escaped; `doubleByte` false escapes
// every such byte (the fallback for a name read from a file in some other encoding).
void AppendQuoted(std::string& out, std::string_view text, bool doubleByte) {
  out += '"';
  for (size_t i = 0; i < text.size();) {
    const size_t n = doubleByte ? CharLength(text, i) : 1;
    if (n == 1 && (text[i] == '\\' || text[i] == '"')) out += '\\';
    out.append(text.substr(i, n));
    i += n;
  }
  out += '"';
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// A number of one to eight hex digits.
std::optional<uint32_t> ParseHexNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (const char c : digits) {
    if (!IsHexDigit(c)) return std::nullopt;
    value = value << 4 | static_cast<uint32_t>(HexDigitValue(c));
  }
  return value;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimStart(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimEnd(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view word) {
  return s.size() >= word.size() && MatchPrefix(s.substr(0, word.size()), word) == word.size();
}

// The full path of a key under the current user, with empty components dropped; nothing when
// the path holds bytes a line of the file cannot.
std::optional<std::string> FullKeyPath(std::string_view path) {
  if (HasLineBreakOrNul(path)) return std::nullopt;
  std::string full(kHive);
  size_t start = 0;
  size_t i = 0;
  while (true) {
    if (i == path.size() || path[i] == '\\') {
      if (i > start) {
        full += '\\';
        full.append(path.substr(start, i - start));
      }
      if (i == path.size()) break;
      start = ++i;
      continue;
    }
    i += CharLength(path, i);
  }
  return full;
}

// ---- Reading the file

struct Line {
  std::string_view text;
  bool terminated;  // false for a last line the file cuts off without a line end
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back({line, end != kNotFound});
    if (end == kNotFound) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// Reads a quoted text starting at s[pos] == '"' and moves pos past its closing quote.
bool ParseQuoted(std::string_view s, size_t& pos, std::string& out, bool doubleByte) {
  out.clear();
  size_t i = pos + 1;
  while (i < s.size()) {
    const char c = s[i];
    if (doubleByte && IsLeadByte(c) && i + 1 < s.size()) {
      out.append(s.substr(i, 2));
      i += 2;
    } else if (c == '"') {
      pos = i + 1;
      return true;
    } else if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out += s[i + 1];
      i += 2;
    } else {
      out += c;  // any other backslash stays as it is
      ++i;
    }
  }
  return false;
}

// Whether what follows a value is nothing, or a comment.
bool IsEmptyTail(std::string_view tail) {
  tail = TrimStart(tail);
  return tail.empty() || tail.front() == ';';
}

// The value name at the start of a value line and the text after its '='.
bool ParseNameAndEquals(std::string_view line, std::string& name, std::string_view& data) {
  if (line.front() == '@') {
    std::string_view rest = TrimStart(line.substr(1));
    if (rest.empty() || rest.front() != '=') return false;
    name.clear();
    data = TrimStart(rest.substr(1));
    return true;
  }
  for (const bool doubleByte : {true, false}) {
    size_t pos = 0;
    if (!ParseQuoted(line, pos, name, doubleByte)) continue;
    std::string_view rest = TrimStart(line.substr(pos));
    if (rest.empty() || rest.front() != '=') continue;
    data = TrimStart(rest.substr(1));
    return true;
  }
  return false;
}

// Comma-separated two-digit hex bytes; an empty list is no bytes.
bool ParseHexList(std::string_view list, std::vector<uint8_t>& out) {
  out.clear();
  list = TrimEnd(TrimStart(list));
  if (list.empty()) return true;
  while (true) {
    const size_t comma = list.find(',');
    const std::string_view item = TrimEnd(TrimStart(list.substr(0, comma)));
    if (item.size() != 2 || !IsHexDigit(item[0]) || !IsHexDigit(item[1])) return false;
    out.push_back(static_cast<uint8_t>(HexDigitValue(item[0]) << 4 | HexDigitValue(item[1])));
    if (comma == kNotFound) return true;
    list.remove_prefix(comma + 1);
  }
}

// A line that carries on a wrapped hex list: hex digits, commas and blanks, maybe ending in '\'.
bool IsContinuationLine(std::string_view line) {
  line = TrimEnd(TrimStart(line));
  if (!line.empty() && line.back() == '\\') line.remove_suffix(1);
  if (TrimEnd(line).empty()) return false;
  for (const char c : line) {
    if (!IsHexDigit(c) && c != ',' && !IsBlank(c)) return false;
  }
  return true;
}

Key& FindOrAddKey(Document& doc, std::string_view path) {
  for (Key& key : doc.keys) {
    if (SameName(key.path, path)) return key;
  }
  doc.keys.push_back({std::string(path), {}});
  return doc.keys.back();
}

Value* FindValue(std::vector<Value>& values, std::string_view name) {
  for (Value& value : values) {
    if (SameName(value.name, name)) return &value;
  }
  return nullptr;
}

// Stores a value into a key, keeping the spelling of a name already there. Returns whether
// anything changed.
bool PutValue(Key& key, std::string_view name, uint32_t type, const std::vector<uint8_t>& data) {
  if (Value* value = FindValue(key.values, name)) {
    if (value->type == type && value->data == data) return false;
    value->type = type;
    value->data = data;
    return true;
  }
  key.values.push_back({std::string(name), type, data});
  return true;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : lines_(SplitLines(text)) {}

  Document Run() {
    size_t i = 0;
    if (!lines_.empty()) {
      std::string_view first = lines_[0].text;
      if (first.substr(0, kUtf8Mark.size()) == kUtf8Mark) first.remove_prefix(kUtf8Mark.size());
      if (TrimEnd(first) == kHeader) {
        i = 1;
      } else {
        doc_.damaged = true;  // and the line is read like any other
      }
    }
    for (; i < lines_.size(); ++i) ReadLine(i);
    return std::move(doc_);
  }

 private:
  void ReadLine(size_t& i) {
    const std::string_view line = TrimEnd(TrimStart(lines_[i].text));
    if (line.empty() || line.front() == ';') return;
    if (line.front() == '[') return ReadKeyLine(line);
    if (line.front() == '"' || line.front() == '@') return ReadValueLine(line, i);
    doc_.damaged = true;
  }

  void ReadKeyLine(std::string_view line) {
    if (line.size() < 3 || line.back() != ']') {
      doc_.damaged = true;
      current_ = kNoKey;
      return;
    }
    const std::string_view path = line.substr(1, line.size() - 2);
    if (path.front() == '-') {
      current_ = kDeletedKey;
      return;
    }
    Key& key = FindOrAddKey(doc_, path);
    current_ = static_cast<long>(&key - doc_.keys.data());
  }

  void ReadValueLine(std::string_view line, size_t& i) {
    std::string name;
    std::string_view data;
    if (!ParseNameAndEquals(line, name, data)) {
      if (current_ != kDeletedKey) doc_.damaged = true;
      return;
    }
    if (data == "-") return;  // deletes a value: nothing to keep
    Value value;
    const bool ok = ReadData(data, i, value);  // even when dropped, to step over its lines
    if (current_ == kDeletedKey) return;
    if (!ok || current_ == kNoKey) {
      doc_.damaged = true;
      return;
    }
    PutValue(doc_.keys[static_cast<size_t>(current_)], name, value.type, value.data);
  }

  // The value after '='; may take continuation lines after line i, moving i past them.
  bool ReadData(std::string_view data, size_t& i, Value& value) {
    const bool cutOff = !lines_[i].terminated;
    if (!data.empty() && data.front() == '"') {
      for (const bool doubleByte : {true, false}) {
        size_t pos = 0;
        std::string text;
        if (!ParseQuoted(data, pos, text, doubleByte) || !IsEmptyTail(data.substr(pos))) continue;
        value.type = kRegSz;
        value.data.assign(text.begin(), text.end());
        value.data.push_back(0);
        return true;
      }
      return false;
    }
    if (StartsWithNoCase(data, "dword:")) {
      std::string_view digits = data.substr(6);
      const size_t end = digits.find(';');
      digits = TrimEnd(digits.substr(0, end));
      // A cut-off last line may have lost digits; regedit always writes all eight.
      if (cutOff && digits.size() != 8) return false;
      const auto number = ParseHexNumber(digits);
      if (!number) return false;
      value.type = kRegDword;
      value.data = {static_cast<uint8_t>(*number), static_cast<uint8_t>(*number >> 8),
                    static_cast<uint8_t>(*number >> 16), static_cast<uint8_t>(*number >> 24)};
      return true;
    }
    std::string_view list;
    if (StartsWithNoCase(data, "hex:")) {
      value.type = kRegBinary;
      list = data.substr(4);
    } else if (StartsWithNoCase(data, "hex(")) {
      const size_t close = data.find(')');
      if (close == kNotFound || close + 1 >= data.size() || data[close + 1] != ':') return false;
      const auto type = ParseHexNumber(data.substr(4, close - 4));
      if (!type) return false;
      value.type = *type;
      list = data.substr(close + 2);
    } else {
      return false;  // "-" (a deletion) or a type this format does not have
    }
    std::string joined;
    list = TrimEnd(list);
    while (!list.empty() && list.back() == '\\') {
      joined.append(list.substr(0, list.size() - 1));
      if (i + 1 >= lines_.size() || !IsContinuationLine(lines_[i + 1].text)) return false;
      list = TrimEnd(TrimStart(lines_[++i].text));
    }
    joined.append(list);
    return ParseHexList(joined, value.data);
  }

  static constexpr long kNoKey = -1;
  static constexpr long kDeletedKey = -2;

  std::vector<Line> lines_;
  Document doc_;
  long current_ = kNoKey;
};

Document Parse(std::string_view text) { return Parser(text).Run(); }

// ---- Writing the file

void AppendHexList(std::string& out, std::string_view prefix, const std::vector<uint8_t>& data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string line(prefix);
  for (size_t i = 0; i < data.size(); ++i) {
    // Room for this byte, its comma and a line-continuing backslash, or wrap first.
    if (i > 0 && line.size() + 4 > kHexLineWidth) {
      out += line;
      out += '\\';
      out += kLineEnd;
      line = "  ";
    }
    line += kDigits[data[i] >> 4];
    line += kDigits[data[i] & 15];
    if (i + 1 < data.size()) line += ',';
  }
  out += line;
  out += kLineEnd;
}

bool IsQuotableString(const std::vector<uint8_t>& data) {
  if (data.empty() || data.back() != 0) return false;
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size() - 1);
  return !HasLineBreakOrNul(text) && !EndsInLoneLeadByte(text);
}

void AppendValue(std::string& out, const Value& value) {
  std::string prefix;
  if (value.name.empty()) {
    prefix = "@";
  } else {
    AppendQuoted(prefix, value.name, !EndsInLoneLeadByte(value.name));
  }
  prefix += '=';
  if (value.type == kRegDword && value.data.size() == 4) {
    char digits[16];
    const uint32_t number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                            static_cast<uint32_t>(value.data[3]) << 24;
    std::snprintf(digits, sizeof digits, "%08x", number);
    out += prefix + "dword:" + digits;
    out += kLineEnd;
  } else if (value.type == kRegSz && IsQuotableString(value.data)) {
    out += prefix;
    AppendQuoted(out, std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1),
                 true);
    out += kLineEnd;
  } else if (value.type == kRegBinary) {
    AppendHexList(out, prefix + "hex:", value.data);
  } else {
    char type[24];
    std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
    AppendHexList(out, prefix + type, value.data);
  }
}

std::string Format(const Document& doc) {
  std::string out(kHeader);
  out += kLineEnd;
  out += kLineEnd;
  for (const Key& key : doc.keys) {
    out += '[';
    out += key.path;
    out += ']';
    out += kLineEnd;
    for (const Value& value : key.values) {
      // A name with a line break in it cannot come from a file and is not accepted from the
      // program; should one be here anyway, leaving it out keeps the file readable.
      if (!HasLineBreakOrNul(value.name)) AppendValue(out, value);
    }
    out += kLineEnd;
  }
  return out;
}

// ---- The keys of a document

// Whether the key is in the document: listed, or the parent of a listed key.
bool KeyExists(const Document& doc, std::string_view path) {
  for (const Key& key : doc.keys) {
    const size_t matched = MatchPrefix(key.path, path);
    if (matched == key.path.size() || (matched != kNotFound && key.path[matched] == '\\')) return true;
  }
  return false;
}

const Key* FindKey(const Document& doc, std::string_view path) {
  for (const Key& key : doc.keys) {
    if (SameName(key.path, path)) return &key;
  }
  return nullptr;
}

// ---- Files

// A descriptor closed when it goes out of scope; closing a lock file's descriptor unlocks it.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&&) = delete;
  int get() const { return fd_; }
  bool Reset() {
    const bool ok = fd_ < 0 || ::close(fd_) == 0;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
};

std::string FolderOf(const std::string& file) {
  const size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : file.substr(0, slash);
}

// Creates the file's folder and its missing parents, each private to the user.
bool MakeFolder(const std::string& file) {
  const std::string folder = FolderOf(file);
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    struct stat info {};
    if (::mkdir(part.c_str(), 0700) != 0 && !(::stat(part.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

// Opens (creating if it can) the lock file and locks it; without a lock file, shared locks
// are skipped (the file is only ever replaced whole, so a reader never sees half of one).
Descriptor Lock(const std::string& lockPath, bool exclusive) {
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0 && !exclusive) fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
  Descriptor lock(fd);
  if (fd < 0) return lock;
  while (::flock(fd, exclusive ? LOCK_EX : LOCK_SH) != 0) {
    if (errno != EINTR) {
      lock.Reset();
      break;
    }
  }
  return lock;
}

enum class ReadResult { kRead, kMissing, kFailed };

ReadResult ReadFile(const std::string& path, std::string& out) {
  out.clear();
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  char buffer[16384];
  while (true) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) return ReadResult::kRead;
    if (n < 0) {
      if (errno == EINTR) continue;
      return ReadResult::kFailed;
    }
    out.append(buffer, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Replaces the file with the bytes: a temporary file in the same folder, synced, renamed over it.
bool ReplaceFile(const std::string& path, std::string_view bytes) {
  std::string temp = path + ".XXXXXX";
  Descriptor fd(::mkstemp(temp.data()));
  if (fd.get() < 0) return false;
  ::fcntl(fd.get(), F_SETFD, FD_CLOEXEC);
  bool ok = WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
  ok = fd.Reset() && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself lasts once the folder is synced too; a folder that cannot be is let be.
  Descriptor folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  return true;
}

// Keeps a copy of a damaged file, unless the copy already holds these very bytes.
bool KeepDamagedCopy(const std::string& path, const std::string& bytes) {
  const std::string copyPath = path + ".bad";
  std::string existing;
  if (ReadFile(copyPath, existing) == ReadResult::kRead && existing == bytes) return true;
  return ReplaceFile(copyPath, bytes);
}

// Applies one closed key's writes to the file as it is now.
bool Commit(const std::string& file, const std::string& keyPath, const std::vector<Value>& writes) {
  if (file.empty() || !MakeFolder(file)) return false;
  const Descriptor lock = Lock(file + ".lock", true);
  if (lock.get() < 0) return false;
  std::string current;
  const ReadResult read = ReadFile(file, current);
  if (read == ReadResult::kFailed) return false;  // never replace what could not be read
  Document doc = Parse(current);
  const bool existed = KeyExists(doc, keyPath);
  if (!existed || !writes.empty()) {
    Key& key = FindOrAddKey(doc, keyPath);
    for (const Value& value : writes) PutValue(key, value.name, value.type, value.data);
  }
  const std::string text = Format(doc);
  if (read == ReadResult::kRead && text == current) return true;
  if (doc.damaged && !current.empty() && !KeepDamagedCopy(file, current)) return false;
  return ReplaceFile(file, text);
}

// ---- Keys

class RegFileKey : public RegistryKey {
 public:
  RegFileKey(std::string file, std::string path, std::vector<Value> values, bool writable, bool mustCreate)
      : file_(std::move(file)),
        path_(std::move(path)),
        values_(std::move(values)),
        writable_(writable),
        mustCreate_(mustCreate) {}

  ~RegFileKey() override {
    if (!writable_ || (pending_.empty() && !mustCreate_)) return;
    try {
      Commit(file_, path_, pending_);
    } catch (...) {
      // Out of memory: the save is lost, like any other failed save.
    }
  }

  bool ReadValue(std::string_view name, uint8_t* buffer, size_t size) override {
    const Value* value = FindValue(pending_, name);
    if (value == nullptr) value = FindValue(values_, name);
    if (value == nullptr || value->data.size() > size) return false;
    if (!value->data.empty()) std::memcpy(buffer, value->data.data(), value->data.size());
    return true;
  }

  bool WriteValue(std::string_view name, uint32_t type, const uint8_t* data, size_t size) override {
    if (!writable_ || (data == nullptr && size > 0)) return false;
    if (HasLineBreakOrNul(name) || EndsInLoneLeadByte(name)) return false;  // no way to write it
    try {
      std::vector<uint8_t> bytes;
      if (size > 0) bytes.assign(data, data + size);
      if (Value* value = FindValue(pending_, name)) {
        value->type = type;
        value->data = std::move(bytes);
      } else {
        pending_.push_back({std::string(name), type, std::move(bytes)});
      }
      return true;
    } catch (...) {
      return false;
    }
  }

 private:
  std::string file_;
  std::string path_;
  std::vector<Value> values_;   // as the file had them when the key was opened
  std::vector<Value> pending_;  // written since, in the order first written
  bool writable_;
  bool mustCreate_;
};

}  // namespace

RegFileStore::RegFileStore() : filePath_(DefaultPath()) {}

RegFileStore::RegFileStore(std::string filePath) : filePath_(std::move(filePath)) {}

std::string RegFileStore::DefaultPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config != nullptr && config[0] == '/') {
    folder = config;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
      const passwd* user = ::getpwuid(::getuid());
      home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] == '\0') return {};
    folder = std::string(home) + "/.config";
  }
  if (folder.back() != '/') folder += '/';
  return folder + "ostrin/Velmora.reg";
}

std::unique_ptr<RegistryKey> RegFileStore::OpenKey(std::string_view path, bool writable) {
  return Open(path, writable, false);
}

std::unique_ptr<RegistryKey> RegFileStore::CreateKey(std::string_view path, bool /*readable*/) {
  return Open(path, true, true);
}

std::unique_ptr<RegistryKey> RegFileStore::Open(std::string_view path, bool writable, bool create) {
  try {
    const auto keyPath = FullKeyPath(path);
    if (!keyPath || filePath_.empty()) return nullptr;
    std::string text;
    ReadResult read;
    {
      const Descriptor lock = Lock(filePath_ + ".lock", false);
      read = ReadFile(filePath_, text);
    }
    const Document doc = Parse(text);
    const bool exists = read == ReadResult::kRead && KeyExists(doc, *keyPath);
    if (!exists && !create) return nullptr;
    std::vector<Value> values;
    if (const Key* key = FindKey(doc, *keyPath)) values = key->values;
    return std::make_unique<RegFileKey>(filePath_, *keyPath, std::move(values), writable, !exists);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace velmora

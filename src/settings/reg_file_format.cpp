#include "settings/reg_file_format.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "encoding/cp932.h"
#include "settings/registry_store.h"

namespace velmora::regfile {

namespace {

constexpr std::string_view kHive = "HKEY_CURRENT_USER";
constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";
// Longest line of a wrapped hex list, the trailing ",\" included (regedit's width).
constexpr size_t kHexLineWidth = 80;
constexpr size_t kNotFound = std::string_view::npos;

// ---- Code page 932 text

bool IsLeadByte(char c) { return IsSjisLeadByte(static_cast<uint8_t>(c)); }

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

}  // namespace

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

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

Document Parse(std::string_view text) { return Parser(text).Run(); }

namespace {

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

}  // namespace

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

}  // namespace velmora::regfile

#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The registry export format ("REGEDIT4") the settings file is kept in, read into keys and
// values and written out again; portable. The file itself, its lock and its replacement belong
// to the platform's store (platform/posix/reg_file_store.h, which describes the format).
namespace velmora::regfile {

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
  bool damaged = false;  // some line did not read
};

// Whatever of the text reads; never fails.
Document Parse(std::string_view text);
// The document in the export format, CRLF line ends, hex lists wrapped at 80 columns.
std::string Format(const Document& doc);

// The full path of a key under the current user, empty components dropped; nothing when the
// path holds bytes a line of the file cannot.
std::optional<std::string> FullKeyPath(std::string_view path);
// Whether the key is in the document: listed, or the parent of a listed key.
bool KeyExists(const Document& doc, std::string_view path);
const Key* FindKey(const Document& doc, std::string_view path);
Key& FindOrAddKey(Document& doc, std::string_view path);
Value* FindValue(std::vector<Value>& values, std::string_view name);
// Stores a value into a key, keeping the spelling of a name already there. Returns whether
// anything changed.
bool PutValue(Key& key, std::string_view name, uint32_t type, const std::vector<uint8_t>& data);

// Names a line of the file cannot hold.
bool HasLineBreakOrNul(std::string_view text);
// Whether the text ends in a lead byte with no trail byte: between quotes the lead byte would
// take the closing quote.
bool EndsInLoneLeadByte(std::string_view text);

}  // namespace velmora::regfile

#pragma once
// A settings store held in memory, with the registry's rules for reads and access, for tests:
// a key opened for reading only refuses writes, and one created for writing only refuses reads.
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "settings/registry_store.h"

namespace velmora::testing {

struct StoredValue {
  uint32_t type = 0;
  std::string bytes;
};

class MemoryStore : public RegistryStore {
 public:
  std::map<std::string, std::map<std::string, StoredValue>> keys;
  bool failOpen = false;    // every open fails
  bool failCreate = false;  // every create fails
  std::vector<std::string> writes;  // "key|name" in the order written

  std::unique_ptr<RegistryKey> OpenKey(std::string_view path, bool writable) override {
    if (failOpen || !keys.count(std::string(path))) return nullptr;
    return std::make_unique<Key>(*this, std::string(path), true, writable);
  }
  std::unique_ptr<RegistryKey> CreateKey(std::string_view path, bool readable) override {
    if (failCreate) return nullptr;
    keys[std::string(path)];
    return std::make_unique<Key>(*this, std::string(path), readable, true);
  }

  void Put(const std::string& key, const std::string& name, uint32_t type, const std::string& bytes) {
    keys[key][name] = StoredValue{type, bytes};
  }
  const StoredValue* Get(const std::string& key, const std::string& name) const {
    auto k = keys.find(key);
    if (k == keys.end()) return nullptr;
    auto v = k->second.find(name);
    return v == k->second.end() ? nullptr : &v->second;
  }

 private:
  class Key : public RegistryKey {
   public:
    Key(MemoryStore& store, std::string path, bool readable, bool writable)
        : store_(store), path_(std::move(path)), readable_(readable), writable_(writable) {}
    bool ReadValue(std::string_view name, uint8_t* buffer, size_t size) override {
      if (!readable_) return false;
      const StoredValue* v = store_.Get(path_, std::string(name));
      if (v == nullptr || v->bytes.size() > size) return false;
      std::memcpy(buffer, v->bytes.data(), v->bytes.size());
      return true;
    }
    bool WriteValue(std::string_view name, uint32_t type, const uint8_t* data, size_t size) override {
      if (!writable_) return false;
      store_.Put(path_, std::string(name), type, std::string(reinterpret_cast<const char*>(data), size));
      store_.writes.push_back(path_ + "|" + std::string(name));
      return true;
    }

   private:
    MemoryStore& store_;
    std::string path_;
    bool readable_;
    bool writable_;
  };
};

inline std::string Le32(uint32_t v) {
  return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
}

}  // namespace velmora::testing

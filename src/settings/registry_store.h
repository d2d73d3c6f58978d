#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace velmora {

// Value types of the store, with the registry's codes.
enum RegistryType : uint32_t {
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
};

// An open key of the store. Destroying it closes the key; what was written through it is then
// in the store (a file-backed store writes it out at that moment).
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  // Copies the value's bytes to the start of `buffer` when there are at most `size` of them,
  // leaving the rest of the buffer untouched, and returns true; returns false, touching
  // nothing, when the value is missing or larger than `size`. The stored type is not looked at.
  virtual bool ReadValue(std::string_view name, uint8_t* buffer, size_t size) = 0;
  // Replaces the value's type and bytes. Returns false when it could not be written.
  virtual bool WriteValue(std::string_view name, uint32_t type, const uint8_t* data, size_t size) = 0;
};

// The settings store: named, typed values under keys of the current user's part of the store,
// reached by paths such as "SOFTWARE\ostrin\Velmora". The Windows registry on Windows; a file per
// user elsewhere.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;
  // Opens an existing key, for reading only or for reading and writing; null when the key does
  // not exist or cannot be opened so.
  virtual std::unique_ptr<RegistryKey> OpenKey(std::string_view path, bool writable) = 0;
  // Opens a key for writing, creating it and its parents if missing; null only when it can be
  // neither created nor opened. With `readable` the key is opened for reading as well (a caller
  // that reads values before rewriting them); without it, what reading such a key gives is up to
  // the store: the registry refuses it, other stores may allow it.
  virtual std::unique_ptr<RegistryKey> CreateKey(std::string_view path, bool readable) = 0;
};

}  // namespace velmora

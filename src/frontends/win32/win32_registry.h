#pragma once
#include <windows.h>

#include <memory>
#include <string_view>

#include "settings/registry_store.h"

namespace velmora {

// The settings store in the Windows registry, under HKEY_CURRENT_USER (or another root, for
// tests): key paths are code page 932 and open with the "W" calls.
class Win32RegistryStore : public RegistryStore {
 public:
  explicit Win32RegistryStore(HKEY root = HKEY_CURRENT_USER) : root_(root) {}
  std::unique_ptr<RegistryKey> OpenKey(std::string_view path, bool writable) override;
  // RegCreateKeyExW, non-volatile, with KEY_WRITE, and KEY_READ as well when `readable`.
  std::unique_ptr<RegistryKey> CreateKey(std::string_view path, bool readable) override;

 private:
  HKEY root_;
};

}  // namespace velmora

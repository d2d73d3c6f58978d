#include "frontends/win32/win32_registry.h"

#include <cstring>
#include <string>
#include <vector>

#include "frontends/win32/win32_text.h"

namespace velmora {

namespace {

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// One open key. Names are code page 932 and go to the "W" calls converted. Text values hold
// code page 932 bytes inside the program and UTF-16 in the registry, converted on the way in
// and out as the "A" calls of a Japanese system would (embedded NULs included), so that the
// registry editor and `reg query` show them as text.
class Win32Key : public RegistryKey {
 public:
  explicit Win32Key(HKEY key) : key_(key) {}
  ~Win32Key() override { RegCloseKey(key_); }
  Win32Key(const Win32Key&) = delete;
  Win32Key& operator=(const Win32Key&) = delete;

  bool ReadValue(std::string_view name, uint8_t* buffer, size_t size) override {
    const std::wstring wideName = Cp932ToWide(name);
    DWORD type = 0;
    DWORD length = 0;
    if (RegQueryValueExW(key_, wideName.c_str(), nullptr, &type, nullptr, &length) != ERROR_SUCCESS) return false;
    std::vector<uint8_t> data(length);
    if (length > 0 &&
        RegQueryValueExW(key_, wideName.c_str(), nullptr, &type, data.data(), &length) != ERROR_SUCCESS) {
      return false;
    }
    data.resize(length);
    if (IsText(type)) {
      std::wstring wide(data.size() / 2, L'\0');
      if (!wide.empty()) std::memcpy(wide.data(), data.data(), wide.size() * 2);
      const std::string bytes = WideToCp932(wide);
      data.assign(bytes.begin(), bytes.end());
    }
    if (data.size() > size) return false;  // only a value that fits its field is taken
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    return true;
  }

  bool WriteValue(std::string_view name, uint32_t type, const uint8_t* data, size_t size) override {
    const std::wstring wideName = Cp932ToWide(name);
    if (IsText(type)) {
      const std::wstring wide = Cp932ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
      return RegSetValueExW(key_, wideName.c_str(), 0, type, reinterpret_cast<const BYTE*>(wide.data()),
                            static_cast<DWORD>(wide.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    return RegSetValueExW(key_, wideName.c_str(), 0, type, data, static_cast<DWORD>(size)) == ERROR_SUCCESS;
  }

 private:
  HKEY key_;
};

}  // namespace

std::unique_ptr<RegistryKey> Win32RegistryStore::OpenKey(std::string_view path, bool writable) {
  HKEY key = nullptr;
  const REGSAM access = writable ? (KEY_READ | KEY_WRITE) : KEY_READ;
  if (RegOpenKeyExW(root_, Cp932ToWide(path).c_str(), 0, access, &key) != ERROR_SUCCESS) return nullptr;
  return std::make_unique<Win32Key>(key);
}

std::unique_ptr<RegistryKey> Win32RegistryStore::CreateKey(std::string_view path, bool readable) {
  HKEY key = nullptr;
  const REGSAM access = readable ? (KEY_READ | KEY_WRITE) : KEY_WRITE;
  if (RegCreateKeyExW(root_, Cp932ToWide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return std::make_unique<Win32Key>(key);
}

}  // namespace velmora

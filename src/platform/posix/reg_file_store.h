#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "settings/registry_store.h"

namespace velmora {

// The settings store on POSIX systems: one text file per user in the format regedit exports
// (the ANSI flavour, "REGEDIT4"), so that a user can carry the settings between a Windows
// machine and this one, or edit them by hand.
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\SOFTWARE\ostrin\Velmora]
//   "Columns"=dword:00000050
//   "Font"="ＭＳ ゴシック"
//   "Colors"=hex:00,00,00,ff,ff,ff,...   (a long list goes on after ",\" on lines indented by two)
//   "Logs"=hex(2):25,48,4f,4d,45,25,00
//   @="default value"
//
// Text (key paths, value names, quoted strings) is code page 932 bytes, read the way Windows
// reads such a file on a Japanese system: a lead byte (0x81-0x9F, 0xE0-0xFC) and the byte
// after it are one character, so the trail byte of "ソ" or "表" (0x5C) is not an escape and is
// written without one; only single-byte '\' and '"' are escaped. When a quoted text does not
// read that way (a file typed in another encoding), it is read again byte by byte. Key paths
// and value names compare like the registry's: ASCII letters without regard to case, double-
// byte characters exactly. A key or value keeps the spelling it was first stored with.
//
// A REG_SZ is written quoted when it is one NUL-terminated string that fits on a line;
// otherwise, and for every other type, as bytes: dword:xxxxxxxx (REG_DWORD of exactly four
// bytes), hex: (REG_BINARY), hex(N): for any other type N, wrapped at 80 columns as regedit
// does. Lines end in CRLF; LF alone is read too.
//
// Every key and value of the file is kept, other hives and unknown types included. Comments
// and blank lines are not: a save writes the data out anew in this form (keys in the order
// first seen, duplicate sections merged, "[-KEY]" sections and "name"=- lines dropped).
//
// A writable key collects its writes; closing it commits them: under an exclusive flock on
// "<file>.lock" the current file is read again, this key's writes are applied to it and the
// result is written to a temporary file in the same folder, synced and renamed over the file.
// Two running copies therefore keep each other's keys and values; of the same value the last
// to close wins. Opening a key reads the file under a shared lock.
//
// A damaged file (bad lines, unknown type words, odd or truncated hex) yields whatever still
// reads; before a save replaces it, it is copied to "<file>.bad". Nothing here throws. Failures
// are silent: a save that cannot be made (the folder cannot be created or written, the file
// cannot be read) is dropped when the key closes, so WriteValue returns true whenever it
// accepted the value into the key.
class RegFileStore : public RegistryStore {
 public:
  // The user's file, DefaultPath().
  RegFileStore();
  explicit RegFileStore(std::string filePath);

  // $XDG_CONFIG_HOME/ostrin/Velmora.reg, or $HOME/.config/ostrin/Velmora.reg when
  // XDG_CONFIG_HOME is unset, empty or relative. Empty when there is no home either.
  static std::string DefaultPath();

  const std::string& filePath() const { return filePath_; }

  std::unique_ptr<RegistryKey> OpenKey(std::string_view path, bool writable) override;
  // The file is read whole whatever the access, so a key created without `readable` still
  // reads its values.
  std::unique_ptr<RegistryKey> CreateKey(std::string_view path, bool readable) override;

 private:
  std::unique_ptr<RegistryKey> Open(std::string_view path, bool writable, bool create);

  std::string filePath_;
};

}  // namespace velmora

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

#include "settings/reg_file_format.h"

namespace velmora {

using namespace regfile;

namespace {

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


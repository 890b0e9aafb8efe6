#include "settings/file_io.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <optional>
#include <system_error>
#include <utility>

#include "log.hpp"

namespace velmora {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kTempEnding = ".tmp";

Error os_error(int err) { return Error{std::system_category().message(err)}; }

// A descriptor closed on every path out.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closing can report a write that failed late (NFS, quotas), so it is checked.
  int close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

// The temporary file is removed unless kept.
class TempFile {
 public:
  TempFile(int fd, fs::path path) : fd_(fd), path_(std::move(path)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (!kept_) ::unlink(path_.c_str());
  }
  Fd& fd() { return fd_; }
  const fs::path& path() const { return path_; }
  void keep() { kept_ = true; }

 private:
  Fd fd_;
  fs::path path_;
  bool kept_ = false;
};

bool all_digits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "." + the file's name + "." + pid + "-" + attempt + ".tmp". The leading dot and the ending
// keep a leftover out of the preset listing, which reads only "json" files; the pid tells
// whose it is.
std::string temp_name(const std::string& file_name, int attempt) {
  return '.' + file_name + '.' + std::to_string(::getpid()) + '-' + std::to_string(attempt) + std::string(kTempEnding);
}

// The pid in a name of temp_name's form, or nothing.
std::optional<pid_t> temp_owner(std::string_view name) {
  if (!name.starts_with('.') || !name.ends_with(kTempEnding)) return std::nullopt;
  name.remove_suffix(kTempEnding.size());
  const std::size_t dash = name.rfind('-');
  if (dash == std::string_view::npos || !all_digits(name.substr(dash + 1))) return std::nullopt;
  name = name.substr(0, dash);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot < 2 || !all_digits(name.substr(dot + 1))) return std::nullopt;
  pid_t pid = 0;
  const auto [end, ec] = std::from_chars(name.data() + dot + 1, name.data() + name.size(), pid);
  if (ec != std::errc{}) return std::nullopt;
  return pid;
}

int create_temp_beside(const fs::path& target, fs::path& temp) {
  for (int attempt = 0;; ++attempt) {
    temp = target.parent_path() / temp_name(target.filename().native(), attempt);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST || attempt == 100) return fd;
  }
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// When the folder refuses new files, the existing file itself is written. Its room is reserved
// first, so that a full disk or a size limit fails before a byte of the old content changes.
// `refused` is the error of the temporary file, which a direct write would also give when
// there is no file to write.
Result<void> write_in_place(const fs::path& target, std::string_view bytes, int refused) {
  Fd fd(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return os_error(errno == ENOENT ? refused : errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return os_error(refused);
  log::get("velmora::settings")
      .debug("Sin permiso para crear un temporal junto a {}: se escribe en su sitio",
             log::debug_quoted(target.native()));
  const auto size = static_cast<off_t>(bytes.size());
  // EINVAL for an empty text, EOPNOTSUPP where the file system can't reserve: write all the same.
  if (const int rc = ::posix_fallocate(fd.get(), 0, size); rc != 0 && rc != EINVAL && rc != EOPNOTSUPP) {
    return os_error(rc);
  }
  if (!write_all(fd.get(), bytes) || ::ftruncate(fd.get(), size) != 0 || ::fsync(fd.get()) != 0 || fd.close() != 0) {
    return os_error(errno);
  }
  return {};
}

}  // namespace

FileRead read_settings_file(const fs::path& path) {
  // Non-blocking: a FIFO would otherwise wait for a writer before the window ever shows.
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    return {errno == ENOENT || errno == ENOTDIR ? FileRead::Outcome::Missing : FileRead::Outcome::Unreadable, {}};
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {FileRead::Outcome::Unreadable, {}};
  // The size is not trusted: a file can grow while it is read, or report none at all.
  std::string bytes;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n == 0) return {FileRead::Outcome::Read, std::move(bytes)};
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || bytes.size() + static_cast<std::size_t>(n) > kMaxSettingsFileBytes) {
      return {FileRead::Outcome::Unreadable, {}};
    }
    bytes.append(buf, static_cast<std::size_t>(n));
  }
}

// mkdir one level at a time, so that the error reported is mkdir's own (a file in the
// folder's place gives "File exists").
Result<void> create_folders(const fs::path& folder) {
  if (folder.empty() || ::mkdir(folder.c_str(), 0777) == 0) return {};
  int err = errno;
  if (err == ENOENT && folder.has_relative_path() && folder.parent_path() != folder) {
    if (Result<void> parent = create_folders(folder.parent_path()); !parent) return parent;
    if (::mkdir(folder.c_str(), 0777) == 0) return {};
    err = errno;
  }
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return {};
  return os_error(err);
}

Result<void> write_file_atomically(const fs::path& path, std::string_view bytes) {
  // A file that is a symbolic link (a managed dotfiles folder, say) is replaced at its
  // target, as writing straight into it would have done; but only a regular file is: a
  // rename over a link's device, FIFO or folder would replace that, so the link itself is.
  fs::path target = path;
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(path, ec))) {
    fs::path resolved = fs::canonical(path, ec);
    if (!ec && fs::is_regular_file(fs::symlink_status(resolved, ec))) target = std::move(resolved);
  }
  // A rename would replace a file that the user made read-only; a direct write is refused
  // there, and so is this one, with the same error.
  if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT) {
    return os_error(errno);
  }

  fs::path temp_path;
  const int fd = create_temp_beside(target, temp_path);
  if (fd < 0) {
    const int err = errno;
    return err == EACCES || err == EPERM ? write_in_place(target, bytes, err) : os_error(err);
  }
  TempFile temp(fd, temp_path);

  // The replacement keeps the permissions that the user gave the old file.
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(temp.fd().get(), old.st_mode & 07777);
  }

  if (!write_all(temp.fd().get(), bytes) || ::fsync(temp.fd().get()) != 0 || temp.fd().close() != 0) {
    return os_error(errno);
  }
  if (::rename(temp.path().c_str(), target.c_str()) != 0) return os_error(errno);
  temp.keep();

  // Make the rename itself durable; a failure here loses nothing that is already written.
  const int dir = ::open(target.parent_path().empty() ? "." : target.parent_path().c_str(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

void remove_leftover_temp_files(const fs::path& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::optional<pid_t> owner = temp_owner(it->path().filename().native());
    std::error_code kind_ec;
    if (!owner || it->symlink_status(kind_ec).type() != fs::file_type::regular) continue;
    // Ours can only be leftovers of an earlier process with the same pid: nothing is written yet.
    const bool running = *owner != ::getpid() && (::kill(*owner, 0) == 0 || errno == EPERM);
    if (!running) ::unlink(it->path().c_str());
  }
}

}  // namespace velmora

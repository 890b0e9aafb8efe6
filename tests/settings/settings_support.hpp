#pragma once
// Helpers for the settings tests: an environment variable restored on scope exit, a fixture
// that points XDG_CONFIG_HOME at a fresh temporary folder (no test touches the real one), a
// run in a child process, the fuzz corpus's files, and records printed as their JSON text.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "settings/file_io.hpp"
#include "settings/json_form.hpp"

namespace velmora {

inline void PrintTo(const ProcessorConfig& c, std::ostream* os) { *os << json_form::to_json(c); }

namespace testing {

namespace fs = std::filesystem;

class ScopedEnv {
 public:
  explicit ScopedEnv(const char* name) : name_(name) {
    if (const char* v = ::getenv(name)) saved_ = v;
  }
  ~ScopedEnv() { saved_ ? set(*saved_) : unset(); }
  void set(const std::string& value) { ::setenv(name_, value.c_str(), 1); }
  void unset() { ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

inline void write_text(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string read_text(const fs::path& path) {
  std::ostringstream out;
  out << std::ifstream(path, std::ios::binary).rdbuf();
  return out.str();
}

// A file of the reader fuzz corpus: files as the program writes them, byte for byte.
inline std::string corpus_text(const std::string& name) {
  return read_text(fs::path(__FILE__).parent_path().parent_path() / "fuzz" / "corpus" / name);
}

class TempConfigHome : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "velmora-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
    xdg_.set(root_.string());
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path velmora_dir() const { return root_ / "velmora"; }
  std::size_t entries_in(const fs::path& folder) const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
  }

  fs::path root_;
  ScopedEnv xdg_{"XDG_CONFIG_HOME"};
};

// Runs f in a child process, as an ordinary user when asked (root may write into any folder),
// and returns the text that f returns, or the child's wait status when it did not end normally.
template <class F>
std::string in_child(F f, bool ordinary_user = false) {
  int out[2];
  if (::pipe(out) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    if (ordinary_user && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    const std::string text = f();
    ::_exit(::write(out[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 3);
  }
  ::close(out[1]);
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  ::close(out[0]);
  int status = -1;
  ::waitpid(child, &status, 0);
  return status == 0 ? text : "wait status " + std::to_string(status);
}

}  // namespace testing
}  // namespace velmora

#pragma once
// Helpers for the settings tests: an environment variable restored on scope exit, a
// fixture that points XDG_CONFIG_HOME at a fresh temporary folder (no test touches the
// real one), a disk that fills up mid-write, a run in a child process, one without root's
// rights, and records printed as their JSON text.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "settings/json_form.hpp"

namespace velmora {

inline void PrintTo(const ProcessorConfig& c, std::ostream* os) { *os << json_form::to_json(c); }

namespace testing {

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

inline void write_text(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string read_text(const std::filesystem::path& path) {
  std::ostringstream out;
  out << std::ifstream(path, std::ios::binary).rdbuf();
  return out.str();
}

class TempConfigHome : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
    xdg_.set(root_.string());
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::filesystem::path velmora_dir() const { return root_ / "velmora"; }

  std::filesystem::path root_;
  ScopedEnv xdg_{"XDG_CONFIG_HOME"};
};

// Runs f with writes limited to `bytes`, as on a disk that fills up mid-write (root included).
template <class F>
void with_file_size_limit(rlim_t bytes, F f) {
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  const sighandler_t old_handler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit lower = saved;
  lower.rlim_cur = bytes;
  ::setrlimit(RLIMIT_FSIZE, &lower);
  f();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, old_handler);
}

// Runs f in a child process and returns the text that f returns, or the child's wait status
// when it did not end normally.
template <class F>
std::string in_child(F f) {
  int out[2];
  if (::pipe(out) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    const std::string text = f();
    const bool sent = ::write(out[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::_exit(sent ? 0 : 3);
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

// in_child as an ordinary user: root may write into any folder.
template <class F>
std::string as_ordinary_user(F f) {
  return in_child([&f] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    return f();
  });
}

}  // namespace testing
}  // namespace velmora

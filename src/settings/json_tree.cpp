#include "settings/json_tree.hpp"

#include <nlohmann/json.hpp>

namespace velmora {
namespace {

using Kind = JsonNode::Kind;

class TreeBuilder {
 public:
  using json = nlohmann::json;

  explicit TreeBuilder(std::size_t max_depth) : max_depth_(max_depth) {}

  bool null() { return scalar(JsonNode{}); }
  bool boolean(bool v) {
    JsonNode n{Kind::Bool};
    n.boolean = v;
    return scalar(std::move(n));
  }
  bool number_unsigned(std::uint64_t v) {
    JsonNode n{Kind::Unsigned};
    n.unsigned_value = v;
    return scalar(std::move(n));
  }
  bool number_integer(std::int64_t v) {
    JsonNode n{Kind::Signed};
    n.signed_value = v;
    return scalar(std::move(n));
  }
  bool number_float(double v, const std::string& digits) {
    JsonNode n{Kind::Float};
    n.float_value = v;
    n.text = digits;
    return scalar(std::move(n));
  }
  bool string(std::string& v) {
    JsonNode n{Kind::String};
    n.text = std::move(v);
    return scalar(std::move(n));
  }
  bool binary(json::binary_t&) { return false; }
  bool start_object(std::size_t) { return open(Kind::Object); }
  bool key(std::string& k) {
    if (skipped_ == 0) stack_.back()->keys.push_back(std::move(k));
    return true;
  }
  bool end_object() { return close(); }
  bool start_array(std::size_t) { return open(Kind::Array); }
  bool end_array() { return close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

  JsonNode take_root() { return std::move(root_); }

 private:
  bool scalar(JsonNode n) {
    if (skipped_ == 0) place(std::move(n));
    return true;
  }
  // Too deep: only counted, so a huge skipped value costs no memory.
  bool open(Kind kind) {
    if (skipped_ > 0 || stack_.size() == max_depth_) {
      if (skipped_++ == 0) place(JsonNode{Kind::Nested});
      return true;
    }
    stack_.push_back(place(JsonNode{kind}));
    return true;
  }
  bool close() {
    if (skipped_ > 0) {
      --skipped_;
    } else {
      stack_.pop_back();
    }
    return true;
  }
  // Only the innermost open container grows, so the pointers on the stack stay valid.
  JsonNode* place(JsonNode n) {
    if (stack_.empty()) {
      root_ = std::move(n);
      return &root_;
    }
    auto& items = stack_.back()->items;
    items.push_back(std::move(n));
    return &items.back();
  }

  std::size_t max_depth_;
  JsonNode root_;
  std::vector<JsonNode*> stack_;
  std::size_t skipped_ = 0;
};

}  // namespace

std::optional<JsonNode> parse_json_tree(std::string_view text, std::size_t max_depth) {
  // nlohmann skips a byte-order mark by itself, and takes a NUL byte for the end of the
  // input; neither belongs in these files.
  if (text.starts_with("\xEF\xBB\xBF") || text.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  TreeBuilder builder(max_depth);
  // Strict: only whitespace may follow the value. Numbers beyond a double, invalid
  // UTF-8 and bad escapes are parse errors already.
  if (!nlohmann::json::sax_parse(text, &builder, nlohmann::json::input_format_t::json, true)) {
    return std::nullopt;
  }
  return builder.take_root();
}

}  // namespace velmora

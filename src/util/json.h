#pragma once
// JSON reading and writing. Two readers: a flat one for one-level objects
// (remote-control messages) that keeps every value as text, and a tree reader
// for nested documents (video-service data, the update manifest). JSON that
// the studio writes is assembled from literals made by jsonQuote.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// What a reader may build from a text: this many times the text's size in
// node, entry and string bytes, and never less than the floor, so that small
// texts are not judged by the fixed size of a node. A text that would take
// more is refused like a malformed one, before it takes it: whoever sends
// the text can make it cost the reader only so much. The tree reader gets
// twice the margin: ordinary page data already takes 5-7 times its size in
// its nodes, and a page refused for being ordinary would end the chat.
inline constexpr std::size_t kJsonFlatMemoryFactor = 8;
inline constexpr std::size_t kJsonTreeMemoryFactor = 16;
inline constexpr std::size_t kJsonMemoryFloor = 64 * 1024;

// Reads one flat object into `out`, member name -> value text. Strings are
// unescaped (\n \t \r only; \uXXXX stays as the letters), numbers and words
// keep their text, nested objects and arrays are skipped and stored as "".
// Keys already in `out` stay unless overwritten. False when the text is not
// one well-formed object, or when the members would take more memory than
// the text allows (above); `out` may then hold the members read so far.
bool parseJsonObjectFlat(std::string_view text, std::map<std::string, std::string>& out);

// The JSON string literal of `s`, quotes included. Bytes that are not valid
// UTF-8 become U+FFFD, so the result is always valid UTF-8.
std::string jsonQuote(std::string_view s);
// The same literal appended to `out`, for messages built into a kept buffer.
void appendJsonQuote(std::string& out, std::string_view s);

struct JsonMember;

struct JsonValue {
  static constexpr int Null = 0;
  static constexpr int Bool = 1;
  static constexpr int Number = 2;
  static constexpr int String = 3;
  static constexpr int Array = 4;
  static constexpr int Object = 5;

  int kind = Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;
  std::vector<JsonMember> members;

  // The first member keyed exactly `key`; the shared null value when there is
  // none or this is not an object.
  const JsonValue& member(std::string_view key) const;
  // items[i], or the shared null value when i is out of range.
  const JsonValue& item(std::int64_t i) const;
  // Depth-first search below this value in document order: each member's key
  // is compared before its value is searched, members before items.
  const JsonValue* find(std::string_view key) const;
};

struct JsonMember {
  std::string key;
  JsonValue value;
};

// Deeper nesting than this fails the parse, so hostile input cannot exhaust
// the stack.
inline constexpr int kMaxJsonDepth = 256;

// Reads one value from `text` at `pos` into `out` (a fresh null value) and
// advances `pos` past it; what follows is not examined. Fails also when the
// tree would take more memory than the whole text allows (above). On failure
// `out` may hold a partial tree and `pos` is unspecified.
bool parseJsonValue(std::string_view text, std::size_t& pos, JsonValue& out);

// Reads one string literal starting exactly at `pos` (a double quote). The
// result is always valid UTF-8.
bool parseJsonString(std::string_view text, std::size_t& pos, std::string& out);

// Advances `pos` over spaces, line feeds, carriage returns and tabs.
void skipJsonSpace(std::string_view text, std::size_t& pos);

// The one process-wide null value that lookups return.
const JsonValue& jsonNull();

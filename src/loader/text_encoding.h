#pragma once
// Program and data-block exports carry Chinese comments in GBK. Text that is valid UTF-8 is
// kept as it is; anything else is decoded as GB18030 (a superset of GBK) into UTF-8.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

bool isValidUtf8(std::string_view bytes);
// The text as UTF-8: unchanged when valid UTF-8, else decoded from GB18030; bytes that
// cannot be decoded become U+FFFD.
std::string toUtf8(std::string_view bytes);
// A text file's bytes as UTF-8 as toUtf8 gives them, or nullopt when they are not text: a
// NUL byte anywhere, or more than one byte in kMaxSuspiciousShare that is a C0 control
// character (other than tab, line breaks, form feed and SUB) or cannot be decoded. Time and
// memory are linear in the size.
inline constexpr std::size_t kMaxSuspiciousShare = 8;
std::optional<std::string> textToUtf8(std::string_view bytes);
// The same without a copy of a text that is already UTF-8: the view is into bytes then, or
// into storage when the text had to be decoded.
std::optional<std::string_view> textAsUtf8(std::string_view bytes, std::string& storage);
// UTF-8 text encoded as GB18030 (for writing files that old tools read).
std::string utf8ToGb18030(std::string_view utf8);

}  // namespace korvane

#pragma once

#include <string>
#include <string_view>

namespace launcher {

// `text` in UTF-8. A surrogate without its partner becomes U+FFFD, so any UTF-16 text,
// well-formed or not, gives well-formed UTF-8.
std::string Utf8Text(std::u16string_view text);

}  // namespace launcher

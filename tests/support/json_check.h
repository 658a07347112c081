// Whether text is one JSON document (RFC 8259) in UTF-8 and nothing else,
// bar white space around it.
#pragma once

#include <string_view>

namespace tarnwick::testing {

bool is_json_document(std::string_view text);

}  // namespace tarnwick::testing

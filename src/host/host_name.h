// Host names for volume names: how a file or folder taken out of a volume
// is named on the host.
//
// A volume name is up to 16 bytes of Shift_JIS as the machine writes it.
// Its host name is its text with escapes (output/name_text.h), and:
//   - on Windows also \ : * ? " < > | escaped, and the last character of a
//     name that ends in '.' or ' ', and of a device name (CON, PRN, AUX,
//     NUL, COM1-9, LPT1-9 in any case, with or without an extension:
//     "CON.TXT" becomes "CO%4E.TXT"; trailing blanks before the extension
//     count as part of the device name);
//   - everywhere, the last character of "." and "..", and an empty name is
//     "%0D" (the 0x0D that ends a name field).
// So every volume name gets its own host name, and the bytes can be read
// back from it. The Windows rules apply on Windows only, as the other hosts
// take those names.
//
// Two volume names may still lead to one host file: on Windows names differ
// only in case ("abc", "ABC"), and a file name plus the extension a command
// adds can equal a folder's name. FolderNames hands out "NAME~2.ext",
// "NAME~3.ext", ... for those.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace tarnwick {

struct NameRules {
  // Windows' reserved characters and names, and names compared without
  // regard to case.
  bool windows = false;
};

// The rules of the host this program runs on.
NameRules native_name_rules();

// The host name of a volume name (its bytes before the 0x0D), as code
// points; HostPath turns them into the host's form.
std::u32string host_name(std::string_view volume_name, const NameRules& rules = native_name_rules());

// The names given out in one host folder.
class FolderNames {
 public:
  explicit FolderNames(const NameRules& rules = native_name_rules()) : rules_(rules) {}

  // `wanted` when no name given out so far is the same on the host, else
  // the first free of "~2", "~3", ... put before its extension (the part
  // from its last '.', unless that is its first character). The name
  // returned counts as given out.
  std::u32string claim(const std::u32string& wanted);

 private:
  std::u32string key(std::u32string_view name) const;

  NameRules rules_;
  std::set<std::u32string> taken_;  // keys of the names given out
};

// The volume name a host name stands for: host_name() run backwards, so
// that the two are one to one but for the empty name. "%XX" (hex digits in
// either case) is that byte; every other character is written in code page
// 932, by its one code that host_name() decodes back to it. Nothing when a
// character has no such code, or when the bytes would hold the 0x0D that
// ends a name field: "%0D" alone too, as no path names an empty name.
std::optional<std::string> volume_name(std::u32string_view host_name);

}  // namespace tarnwick

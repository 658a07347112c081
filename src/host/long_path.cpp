#include "host/long_path.h"

namespace tarnwick {

namespace {

bool starts_with(const std::wstring& s, const wchar_t* prefix) { return s.rfind(prefix, 0) == 0; }

bool is_verbatim_or_device(const std::wstring& path) {
  return starts_with(path, L"\\\\?\\") || starts_with(path, L"\\\\.\\");
}

}  // namespace

std::wstring long_path(const std::wstring& path,
                       const std::function<std::optional<std::wstring>(const std::wstring&)>& full_path) {
  if (path.size() < kLongPathUnits || is_verbatim_or_device(path)) return path;
  const std::optional<std::wstring> full = full_path(path);
  if (!full) return path;
  if (is_verbatim_or_device(*full)) return *full;
  if (starts_with(*full, L"\\\\")) return L"\\\\?\\UNC\\" + full->substr(2);
  return L"\\\\?\\" + *full;
}

}  // namespace tarnwick

// version-info PATH: prints the version information of the executable PATH as
// Windows reads it for the file's properties (GetFileVersionInfoA and
// VerQueryValueA), one "name=value" line each: the fixed file and product
// versions, then the U.S. English strings. Exit status 1 when the file has
// no version information. scripts/wine/version-resource-check.sh compares it
// with what the programs print.
#include <windows.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: version-info PATH\n");
    return 2;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(argv[1], &ignored);
  if (size == 0) {
    std::printf("no version information\n");
    return 1;
  }
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(argv[1], 0, size, block.data())) return 1;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof *fixed || fixed->dwSignature != 0xFEEF04BD)
    return 1;
  // Four 16-bit numbers each, high word first: 1.0 is 1.0.0.0.
  const auto four = [](const char* name, DWORD high, DWORD low) {
    std::printf("%s=%u.%u.%u.%u\n", name, unsigned{HIWORD(high)}, unsigned{LOWORD(high)},
                unsigned{HIWORD(low)}, unsigned{LOWORD(low)});
  };
  four("fixed-file-version", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  four("fixed-product-version", fixed->dwProductVersionMS, fixed->dwProductVersionLS);

  const char* const names[] = {"CompanyName",     "FileDescription",  "FileVersion",
                               "InternalName",    "LegalCopyright",   "OriginalFilename",
                               "ProductName",     "ProductVersion"};
  for (const char* name : names) {
    char query[80];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\040904E4\\%s", name);
    char* value = nullptr;
    UINT chars = 0;
    if (VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&value), &chars) && value)
      std::printf("%s=%s\n", name, value);
    else
      std::printf("%s is missing\n", name);
  }
  return 0;
}

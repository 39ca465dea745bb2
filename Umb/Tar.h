#ifndef UMB_TAR_H
#define UMB_TAR_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "UmbOutcome.h"

// The uncompressed POSIX tar that holds a .umb's members.
namespace umb {

inline constexpr std::size_t kTarBlock = 512;

// The ustar header of a regular file (or of another `type`, such as 'x' for
// a pax extended header), mode 0644, owned by 0:0. Sizes past the 11 octal
// digits of the field (8 GiB) take the binary form that tar readers know;
// paths past 100 characters are split at a slash into prefix and name.
void tarHeader(char* header, const std::string& path, std::uint64_t size, long long modified, char type = '0');

// Where a member's bytes lie in the tar.
struct TarEntry {
  std::size_t offset = 0;
  std::size_t size = 0;
};

// The regular files of an uncompressed tar held in memory, by name (without
// a leading "./"). GNU long names and pax paths and sizes are understood.
Outcome<std::map<std::string, TarEntry>> listTar(const unsigned char* data, std::size_t length);

}  // namespace umb

#endif

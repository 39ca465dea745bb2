#include "Tar.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace umb {

namespace {

// A tar header's numeric field: octal digits (space or NUL padded), or a
// base-256 number when the first byte has its high bit set.
bool tarNumber(const unsigned char* field, std::size_t width, std::uint64_t& out) {
  out = 0;
  if (field[0] & 0x80) {
    if (field[0] != 0x80) return false;  // negative or beyond 63 bits
    for (std::size_t i = 1; i < width; i++) {
      if (out >> 55) return false;
      out = (out << 8) | field[i];
    }
    return true;
  }
  std::size_t i = 0;
  while (i < width && field[i] == ' ') i++;
  bool any = false;
  for (; i < width && field[i] >= '0' && field[i] <= '7'; i++) {
    if (out >> 60) return false;
    out = out * 8 + (field[i] - '0');
    any = true;
  }
  for (; i < width; i++)
    if (field[i] != ' ' && field[i] != '\0') return false;
  return any;
}

std::string fieldText(const unsigned char* field, std::size_t width) {
  std::size_t n = 0;
  while (n < width && field[n] != '\0') n++;
  return std::string(reinterpret_cast<const char*>(field), n);
}

bool checksumMatches(const unsigned char* h) {
  std::uint64_t stored = 0;
  if (!tarNumber(h + 148, 8, stored)) return false;
  std::uint64_t unsignedSum = 0;
  std::int64_t signedSum = 0;
  for (std::size_t i = 0; i < kTarBlock; i++) {
    const unsigned char c = (i >= 148 && i < 156) ? ' ' : h[i];
    unsignedSum += c;
    signedSum += static_cast<signed char>(c);
  }
  return stored == unsignedSum || static_cast<std::int64_t>(stored) == signedSum;
}

std::string normalName(std::string name) {
  while (name.rfind("./", 0) == 0) name.erase(0, 2);
  return name;
}

// The value of one key of a pax extended header ("<length> key=value\n" records).
bool paxValue(std::string_view data, std::string_view key, std::string& out) {
  while (!data.empty()) {
    std::size_t length = 0, i = 0;
    while (i < data.size() && data[i] >= '0' && data[i] <= '9') {
      length = length * 10 + static_cast<std::size_t>(data[i] - '0');
      if (length > data.size()) return false;
      i++;
    }
    if (i == 0 || length <= i + 1 || length > data.size() || data[length - 1] != '\n') return false;
    const std::string_view record = data.substr(i + 1, length - i - 2);
    const std::size_t eq = record.find('=');
    if (eq != std::string_view::npos && record.substr(0, eq) == key) {
      out = std::string(record.substr(eq + 1));
      return true;
    }
    data.remove_prefix(length);
  }
  return false;
}

}  // namespace

void tarHeader(char* header, const std::string& path, std::uint64_t size, long long modified, char type) {
  std::memset(header, 0, kTarBlock);
  std::string name = path, prefix;
  if (name.size() > 100) {
    // Split at a slash: up to 155 characters of directories, the rest up to 100.
    const auto slash = path.rfind('/', 155);
    prefix = path.substr(0, slash);
    name = path.substr(slash + 1);
  }
  std::memcpy(header, name.data(), std::min<std::size_t>(name.size(), 100));
  std::memcpy(header + 100, "0000644", 7);
  std::memcpy(header + 108, "0000000", 7);
  std::memcpy(header + 116, "0000000", 7);
  if (size < (std::uint64_t{1} << 33)) {
    std::snprintf(header + 124, 12, "%011llo", static_cast<unsigned long long>(size));
  } else {
    header[124] = static_cast<char>(0x80);
    for (int i = 0; i < 8; i++) header[135 - i] = static_cast<char>((size >> (8 * i)) & 0xff);
  }
  std::snprintf(header + 136, 12, "%011llo", static_cast<unsigned long long>(modified));
  header[156] = type;
  std::memcpy(header + 257, "ustar", 6);
  std::memcpy(header + 263, "00", 2);
  std::memcpy(header + 345, prefix.data(), std::min<std::size_t>(prefix.size(), 155));
  std::memset(header + 148, ' ', 8);
  unsigned sum = 0;
  for (std::size_t i = 0; i < kTarBlock; i++) sum += static_cast<unsigned char>(header[i]);
  std::snprintf(header + 148, 8, "%06o", sum);
  header[155] = ' ';
}

Outcome<std::map<std::string, TarEntry>> listTar(const unsigned char* data, std::size_t length) {
  std::map<std::string, TarEntry> entries;
  std::size_t offset = 0;
  std::string longName;
  std::string paxPath;
  std::string paxSize;
  for (;;) {
    if (length - offset < kTarBlock) return Error{"the tar ends inside a header at byte " + std::to_string(offset)};
    const unsigned char* h = data + offset;
    bool zero = true;
    for (std::size_t i = 0; i < kTarBlock && zero; i++) zero = h[i] == 0;
    if (zero) break;
    if (!checksumMatches(h))
      return Error{"the tar header at byte " + std::to_string(offset) + " is damaged (checksum)"};
    std::uint64_t size = 0;
    if (!tarNumber(h + 124, 12, size))
      return Error{"the tar header at byte " + std::to_string(offset) + " has a bad size"};
    if (!paxSize.empty()) {
      char* end = nullptr;
      errno = 0;
      size = std::strtoull(paxSize.c_str(), &end, 10);
      if (errno != 0 || *end != '\0') return Error{"a pax header has a bad size"};
    }
    const std::size_t start = offset + kTarBlock;
    if (size > length - start) {
      return Error{"the tar member at byte " + std::to_string(offset) + " claims " + std::to_string(size) +
                   " bytes, past the end of the file"};
    }
    std::string name = fieldText(h, 100);
    if (std::memcmp(h + 257, "ustar", 5) == 0 && h[345] != '\0') name = fieldText(h + 345, 155) + "/" + name;
    if (!longName.empty()) name = longName;
    if (!paxPath.empty()) name = paxPath;
    const char type = static_cast<char>(h[156]);
    const std::string_view body(reinterpret_cast<const char*>(data + start), size);
    const bool header = type == 'x' || type == 'L';
    if (type == 'x') {
      paxValue(body, "path", paxPath);
      paxValue(body, "size", paxSize);
    } else if (type == 'L') {
      longName = std::string(body.substr(0, body.find('\0')));
    } else if (type == '0' || type == '\0' || type == '7') {
      name = normalName(name);
      if (!entries.emplace(name, TarEntry{start, static_cast<std::size_t>(size)}).second)
        return Error{"the tar holds " + name + " twice"};
    }
    if (!header) {
      longName.clear();
      paxPath.clear();
      paxSize.clear();
    }
    const std::size_t padded = (static_cast<std::size_t>(size) + kTarBlock - 1) / kTarBlock * kTarBlock;
    if (padded > length - start) {
      // The last member may end without its padding; nothing can follow it.
      break;
    }
    offset = start + padded;
    if (offset == length) break;
  }
  return entries;
}

}  // namespace umb

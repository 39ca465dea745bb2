#include "FileCreation.h"

#include <fcntl.h>

#include <cerrno>

int openOutputFile(const char* path, FileCreation creation, bool readable) {
  const int how = creation == FileCreation::New ? O_CREAT | O_EXCL | O_NOFOLLOW : O_CREAT | O_TRUNC;
  const int flags = how | O_CLOEXEC | O_NOCTTY;
  int fd = ::open(path, flags | (readable ? O_RDWR : O_WRONLY), 0666);
  // A file we may only write is still written.
  if (fd < 0 && readable && errno == EACCES) fd = ::open(path, flags | O_WRONLY, 0666);
  return fd;
}

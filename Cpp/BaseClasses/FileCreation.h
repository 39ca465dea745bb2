#ifndef FILE_CREATION_H
#define FILE_CREATION_H

// How an output file comes into being.
//
// A run's temporaries are always new files: whatever already stands at the
// name, a symbolic link planted there included, makes the open fail rather
// than be written through, so a temporary never writes into another file.
// Files written under their final names (the library's callers, the tests)
// replace what is there.
enum class FileCreation { Replace, New };

// open(2) of `path` for writing (and reading, when `readable` and allowed),
// close-on-exec; -1 with errno set on failure.
int openOutputFile(const char* path, FileCreation creation, bool readable = false);

#endif

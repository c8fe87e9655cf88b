// Writing a table file without ever leaving a damaged one behind.
//
// A SafeFile is the next version of a file: it is written under a temporary name in the same
// directory (so that the final rename stays within one file system and is atomic), flushed to
// the disk with fsync, and only then renamed over the old file. Until Commit succeeds the old
// file is untouched; a SafeFile destroyed without a successful Commit (a refused value, a full
// disk, an exception anywhere) removes its temporary file.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/tableerror.h"

namespace qv::detail {

std::string ErrnoText(int err);  // strerror, for the cause of a failed system call

// Which file a name stands for, and in which version: two stats give the same identity only if
// they saw the same file, unchanged in between as far as its size and time of change tell. A
// record is only written in place into the very file it was read from (see recordpatch.h).
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};

  bool SameFile(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
  bool operator==(const FileIdentity& o) const {
    return SameFile(o) && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec;
  }
};
// The identity of what path names now (following symbolic links); nothing if it does not exist.
std::optional<FileIdentity> IdentityOf(const std::string& path);
FileIdentity IdentityOfOpenFile(int fd);

// The whole file, for the readers that validate a file before handing it to a library. Only a
// regular file is opened: a FIFO or a device would block or never end. identity, when given,
// receives the identity of the file that was read.
std::string ReadWholeFile(const std::string& path, FileIdentity* identity = nullptr);
// The whole file as ReadWholeFile reads it, in one block sized from the file's size and not
// set to zero before the read fills it: a table of 360,000 records is tens of megabytes, and
// zeroing them only to overwrite them doubles the memory traffic of the read.
class FileBytes {
 public:
  FileBytes() = default;
  FileBytes(std::unique_ptr<char[]> data, std::size_t size) : data_(std::move(data)), size_(size) {}
  char* Data() { return data_.get(); }
  std::size_t Size() const { return size_; }
  std::string_view View() const { return {data_.get(), size_}; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
};
FileBytes ReadFileBytes(const std::string& path, FileIdentity* identity = nullptr);
// Size of a file and its first maxBytes bytes (fewer if the file is shorter).
std::string ReadFileHead(const std::string& path, std::size_t maxBytes, std::size_t& fileSize,
                         FileIdentity* identity = nullptr);

// The file a new version of path replaces: path itself, or the file a symbolic link points to,
// so that the link survives.
std::string FileToReplace(const std::string& path);
std::string DirectoryOf(const std::string& path);
// fsync of the directory that holds path, so that a rename or removal in it is on the disk.
// False when it failed.
bool SyncDirectoryOf(const std::string& path);

// Existing files beside path named as path's stem followed by one of the extensions, in any
// letter case; "?" in an extension stands for any one character ("X??" finds ".X01", ".xg0").
std::vector<std::string> SiblingFiles(const std::string& path,
                                      const std::vector<std::string>& extensions);

// Removes a file; a file that does not exist is no error. False when the removal failed.
bool RemoveIfPresent(const std::string& path);

// What a SafeFile holds, for its messages: a table ("Tabela \"x.db\": ...") or another file
// of the program, such as a report ("Arquivo \"r.txt\": ...").
enum class TFileKind { Table, Other };

class SafeFile {
 public:
  explicit SafeFile(const std::string& path, TFileKind kind = TFileKind::Table);
  ~SafeFile();
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  const std::string& Path() const { return finalPath_; }     // the file being replaced
  const std::string& TempPath() const { return tempPath_; }  // for libraries that open by name

  void Write(const void* data, std::size_t size);  // buffered; throws TableError
  void Write(std::string_view text) { Write(text.data(), text.size()); }

  // Flushes, fsyncs, closes and renames over the old file. Throws TableError; the old file
  // is intact and the temporary removed if it does.
  void Commit();

 private:
  void Flush();
  [[noreturn]] void Fail(const std::string& cause);
  [[noreturn]] void Throw(const std::string& path, const std::string& cause) const;

  TFileKind kind_;
  std::string finalPath_;
  std::string tempPath_;
  int fd_ = -1;
  bool committed_ = false;
  std::vector<char> buffer_;
};

}  // namespace qv::detail

namespace qv {

// Writes `bytes` as the whole new content of the file at path (a report, a results file) as
// tables are written: a complete temporary file beside it, flushed to the disk, then renamed
// over it, so that a failure leaves the old file as it was. Throws TableError, whose message
// names the file ("Arquivo \"...\": ...") and the cause.
void WriteFileSafely(const std::string& path, std::string_view bytes);

}  // namespace qv

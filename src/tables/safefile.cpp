#include "tables/safefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "tables/datatable.h"
#include "tables/iofault.h"

namespace qv::detail {

namespace {

constexpr std::size_t kBufferSize = 1 << 16;

IoFaultHook& FaultHook() {
  static IoFaultHook hook;
  return hook;
}

// Reads exactly size bytes or up to the end of the file; throws on an error.
std::size_t ReadAll(int fd, char* data, std::size_t size, const std::string& path) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      ThrowTableError(path, "não foi possível ler o arquivo (" + ErrnoText(err) + ").");
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

const char* const kNotRegular = "não é um arquivo comum (é uma pasta, um dispositivo ou um FIFO).";

[[noreturn]] void NotRegular(const std::string& path) {
  ThrowTableError(path, kNotRegular);
}

// The type is checked before the file is opened, since opening a FIFO for reading waits for a
// writer; O_NONBLOCK keeps a FIFO put in its place meanwhile from blocking, and the fstat
// afterwards refuses it.
int OpenForReading(const std::string& path, std::size_t& size, FileIdentity* identity) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    const int err = errno;
    if (err == ENOENT) ThrowTableError(path, "o arquivo não existe.");
    ThrowTableError(path, "não foi possível abrir o arquivo (" + ErrnoText(err) + ").");
  }
  if (!S_ISREG(st.st_mode)) NotRegular(path);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT) ThrowTableError(path, "o arquivo não existe.");
    ThrowTableError(path, "não foi possível abrir o arquivo (" + ErrnoText(err) + ").");
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    NotRegular(path);
  }
  size = static_cast<std::size_t>(st.st_size);
  if (identity) *identity = IdentityOfOpenFile(fd);
  return fd;
}

FileIdentity IdentityOfStat(const struct stat& st) {
  FileIdentity id;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = st.st_size;
  id.modified = st.st_mtim;
  return id;
}

}  // namespace

void SetIoFaultHook(IoFaultHook hook) {
  FaultHook() = std::move(hook);
}

int IoFault(IoStep step) {
  const IoFaultHook& hook = FaultHook();
  return hook ? hook(step) : 0;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return IdentityOfStat(st);
}

FileIdentity IdentityOfOpenFile(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return {};
  return IdentityOfStat(st);
}

std::string DirectoryOf(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

bool SyncDirectoryOf(const std::string& path) {
  if (const int err = IoFault(IoStep::SyncDirectory)) {
    errno = err;
    return false;
  }
  const int dirFd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return false;
  const bool ok = ::fsync(dirFd) == 0;
  ::close(dirFd);
  return ok;
}

std::string FileToReplace(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_symlink(path, ec)) {
    const std::filesystem::path target = std::filesystem::canonical(path, ec);
    if (!ec) return target.string();
  }
  return path;
}

std::string ErrnoText(int err) {
  return std::strerror(err);
}

std::string ReadWholeFile(const std::string& path, FileIdentity* identity) {
  std::size_t size = 0;
  const int fd = OpenForReading(path, size, identity);
  std::string data(size, '\0');
  data.resize(ReadAll(fd, data.data(), size, path));
  ::close(fd);
  return data;
}

FileBytes ReadFileBytes(const std::string& path, FileIdentity* identity) {
  std::size_t size = 0;
  const int fd = OpenForReading(path, size, identity);
  // new char[] leaves the bytes uninitialised; the read fills those it keeps.
  std::unique_ptr<char[]> data;
  try {
    data.reset(new char[std::max<std::size_t>(size, 1)]);
  } catch (...) {
    ::close(fd);
    throw;
  }
  size = ReadAll(fd, data.get(), size, path);
  ::close(fd);
  return FileBytes(std::move(data), size);
}

std::string ReadFileHead(const std::string& path, std::size_t maxBytes, std::size_t& fileSize,
                         FileIdentity* identity) {
  const int fd = OpenForReading(path, fileSize, identity);
  std::string data(std::min(maxBytes, fileSize), '\0');
  data.resize(ReadAll(fd, data.data(), data.size(), path));
  ::close(fd);
  return data;
}

std::vector<std::string> SiblingFiles(const std::string& path,
                                      const std::vector<std::string>& extensions) {
  const auto lower = [](std::string s) {
    for (char& c : s) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
  };
  const auto matches = [](const std::string& pattern, const std::string& text) {
    if (pattern.size() != text.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (pattern[i] != '?' && pattern[i] != text[i]) return false;
    }
    return true;
  };
  const std::filesystem::path p(path);
  const std::string stem = lower(p.stem().string());
  std::vector<std::string> found;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(DirectoryOf(path), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::filesystem::path name = it->path().filename();
    std::string ext = lower(name.extension().string());
    if (ext.empty() || lower(name.stem().string()) != stem) continue;
    ext.erase(0, 1);  // the dot
    for (const std::string& pattern : extensions) {
      if (matches(lower(pattern), ext)) {
        found.push_back(it->path().string());
        break;
      }
    }
  }
  return found;
}

bool RemoveIfPresent(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

SafeFile::SafeFile(const std::string& path, TFileKind kind)
    : kind_(kind), finalPath_(FileToReplace(path)) {
  struct stat existing {};
  const bool replacing = ::stat(finalPath_.c_str(), &existing) == 0;
  if (replacing && !S_ISREG(existing.st_mode)) Throw(path, kNotRegular);
  // The rename would replace a file its owner protected against writing, since only the
  // folder's permission counts for it.
  if (replacing && ::access(finalPath_.c_str(), W_OK) != 0 && errno == EACCES) {
    Throw(path, "o arquivo está protegido contra gravação (somente leitura).");
  }
  const char* const what = kind_ == TFileKind::Table ? "a tabela" : "o arquivo";
  if (const int err = IoFault(IoStep::CreateTemp)) {
    Throw(path, "não foi possível criar um arquivo temporário na pasta \"" +
                    DirectoryOf(finalPath_) + "\" para gravar " + what + " (" + ErrnoText(err) +
                    ").");
  }
  const std::string dir = DirectoryOf(finalPath_);
  const std::string base = std::filesystem::path(finalPath_).filename().string();
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    tempPath_ = dir + "/.~" + base + "." + suffix;
    // 0666 before the umask, like any file a program creates; an existing file's mode is
    // copied below.
    fd_ = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) {
      const int err = errno;
      tempPath_.clear();
      Throw(path, "não foi possível criar um arquivo temporário na pasta \"" + dir +
                      "\" para gravar " + what + " (" + ErrnoText(err) + ").");
    }
  }
  if (fd_ < 0) {
    tempPath_.clear();
    Throw(path, "não foi possível criar um arquivo temporário na pasta \"" + dir + "\".");
  }
  if (replacing) (void)::fchmod(fd_, existing.st_mode & 07777);
  buffer_.reserve(kBufferSize);
}

SafeFile::~SafeFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !tempPath_.empty()) ::unlink(tempPath_.c_str());
}

void SafeFile::Throw(const std::string& path, const std::string& cause) const {
  if (kind_ == TFileKind::Table) ThrowTableError(path, cause);
  throw TableError("Arquivo \"" + path + "\": " + cause);
}

void SafeFile::Fail(const std::string& cause) {
  Throw(finalPath_, cause + " A versão anterior do arquivo ficou intacta.");
}

void SafeFile::Flush() {
  std::size_t done = 0;
  if (buffer_.empty()) return;
  if (const int err = IoFault(IoStep::WriteTemp)) {
    Fail("não foi possível gravar o arquivo (" + ErrnoText(err) + ").");
  }
  while (done < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      Fail("não foi possível gravar o arquivo (" + ErrnoText(err) + ").");
    }
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
}

void SafeFile::Write(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const std::size_t room = kBufferSize - buffer_.size();
    const std::size_t n = size < room ? size : room;
    buffer_.insert(buffer_.end(), p, p + n);
    p += n;
    size -= n;
    if (buffer_.size() == kBufferSize) Flush();
  }
}

void SafeFile::Commit() {
  Flush();
  int err = IoFault(IoStep::SyncTemp);
  if (err != 0 || ::fsync(fd_) != 0) {
    if (err == 0) err = errno;
    Fail("não foi possível gravar o arquivo no disco (" + ErrnoText(err) + ").");
  }
  const int fd = fd_;
  fd_ = -1;
  err = IoFault(IoStep::CloseTemp);
  if (err != 0) {
    ::close(fd);
  } else if (::close(fd) != 0) {
    err = errno;
  }
  if (err != 0) Fail("não foi possível gravar o arquivo (" + ErrnoText(err) + ").");
  err = IoFault(IoStep::RenameTemp);
  if (err != 0 || ::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
    if (err == 0) err = errno;
    Fail("não foi possível substituir o arquivo pela nova versão (" + ErrnoText(err) + ").");
  }
  committed_ = true;
  // Make the rename itself durable. Failing here loses nothing already written (the new
  // version or, after a crash, the old one stays whole), so it is not reported.
  SyncDirectoryOf(finalPath_);
}

}  // namespace qv::detail

namespace qv {

void WriteFileSafely(const std::string& path, std::string_view bytes) {
  detail::SafeFile file(path, detail::TFileKind::Other);
  file.Write(bytes);
  file.Commit();
}

}  // namespace qv

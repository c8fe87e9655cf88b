#include "tables/recordpatch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>

#include "tables/datatable.h"
#include "tables/iofault.h"

namespace qv::detail {

namespace {

// Journal layout: magic, then little-endian 64-bit device, inode, table size, offset and
// length, then the old and the new bytes, then an FNV-1a checksum of everything before it.
constexpr std::string_view kMagic = "QVJRNL1\n";
constexpr std::size_t kFixedPart = 8 + 5 * 8;
// A record of either format is at most 64 KB; anything larger is not a journal of ours.
constexpr std::uint64_t kMaxLength = 1 << 16;

void PutU64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint64_t GetU64(std::string_view in, std::size_t at) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[at + i]);
  return v;
}

std::uint64_t Checksum(std::string_view bytes) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ULL;
  }
  return h;
}

struct Journal {
  std::uint64_t device = 0, inode = 0, size = 0, offset = 0;
  std::string oldBytes, newBytes;
};

std::string Encode(const Journal& j) {
  std::string out(kMagic);
  PutU64(out, j.device);
  PutU64(out, j.inode);
  PutU64(out, j.size);
  PutU64(out, j.offset);
  PutU64(out, j.oldBytes.size());
  out += j.oldBytes;
  out += j.newBytes;
  PutU64(out, Checksum(out));
  return out;
}

// Nothing when the bytes are not a whole journal (a crash while it was being written).
std::optional<Journal> Decode(std::string_view in) {
  if (in.size() < kFixedPart + 8 || in.substr(0, kMagic.size()) != kMagic) return std::nullopt;
  Journal j;
  j.device = GetU64(in, 8);
  j.inode = GetU64(in, 16);
  j.size = GetU64(in, 24);
  j.offset = GetU64(in, 32);
  const std::uint64_t length = GetU64(in, 40);
  if (length == 0 || length > kMaxLength || in.size() != kFixedPart + 2 * length + 8) {
    return std::nullopt;
  }
  if (GetU64(in, in.size() - 8) != Checksum(in.substr(0, in.size() - 8))) return std::nullopt;
  j.oldBytes = in.substr(kFixedPart, length);
  j.newBytes = in.substr(kFixedPart + length, length);
  return j;
}

// pwrite until done; 0 or the errno of the failure.
int WriteAt(int fd, std::string_view bytes, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

// pread of exactly size bytes; false at an error or the end of the file.
bool ReadAt(int fd, std::string& bytes, std::size_t size, std::uint64_t offset) {
  bytes.assign(size, '\0');
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n =
        ::pread(fd, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes bytes at offset and fsyncs, each step asked of the fault hook first.
int WriteAndSync(int fd, std::string_view bytes, std::uint64_t offset) {
  if (const int err = IoFault(IoStep::WriteRecord)) return err;
  if (const int err = WriteAt(fd, bytes, offset)) return err;
  if (const int err = IoFault(IoStep::SyncRecord)) return err;
  return ::fsync(fd) == 0 ? 0 : errno;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

void RemoveJournal(const std::string& journal) {
  if (IoFault(IoStep::RemoveJournal) != 0) return;
  if (::unlink(journal.c_str()) == 0) SyncDirectoryOf(journal);
}

// Writes the journal completely and durably; 0 or the errno of the failure.
int WriteJournal(const std::string& journal, const std::string& bytes) {
  if (const int err = IoFault(IoStep::WriteJournal)) return err;
  const Fd fd(::open(journal.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.Get() < 0) return errno;
  if (const int err = WriteAt(fd.Get(), bytes, 0)) return err;
  if (const int err = IoFault(IoStep::SyncJournal)) return err;
  if (::fsync(fd.Get()) != 0) return errno;
  return SyncDirectoryOf(journal) ? 0 : (errno != 0 ? errno : EIO);
}

}  // namespace

std::string JournalPath(const std::string& path) {
  const std::string file = FileToReplace(path);
  return DirectoryOf(file) + "/.~" + std::filesystem::path(file).filename().string() + ".journal";
}

void RecoverRecordPatch(const std::string& path) {
  const std::string journalPath = JournalPath(path);
  std::string bytes;
  {
    const Fd fd(::open(journalPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.Get() < 0) return;  // no journal: nothing was interrupted
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > static_cast<off_t>(kFixedPart + 2 * kMaxLength + 8)) {
      return;  // not a journal of ours: leave it alone
    }
    if (!ReadAt(fd.Get(), bytes, static_cast<std::size_t>(st.st_size), 0)) return;
  }
  const std::optional<Journal> j = Decode(bytes);
  if (!j) {
    // Incomplete: the crash came while the journal was being written, before the table was
    // touched.
    ::unlink(journalPath.c_str());
    return;
  }
  const std::string file = FileToReplace(path);
  int raw = ::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  const bool writable = raw >= 0;
  if (!writable) raw = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (raw < 0) return;  // the opening of the table itself will say why
  const Fd fd(raw);
  const FileIdentity id = IdentityOfOpenFile(fd.Get());
  const std::size_t length = j->oldBytes.size();
  std::string current;
  // A journal of another file or another version of it (the table was replaced since) says
  // nothing about this one.
  const bool ours = id.device == j->device && id.inode == j->inode &&
                    static_cast<std::uint64_t>(id.size) == j->size &&
                    ReadAt(fd.Get(), current, length, j->offset);
  bool torn = false;
  if (ours && current != j->oldBytes && current != j->newBytes) {
    // A torn write leaves every byte either old or new; anything else is not our write.
    torn = true;
    for (std::size_t i = 0; i < length && torn; ++i) {
      torn = current[i] == j->oldBytes[i] || current[i] == j->newBytes[i];
    }
  }
  if (torn) {
    const int err = writable ? WriteAndSync(fd.Get(), j->oldBytes, j->offset) : EROFS;
    if (err != 0) {
      ThrowTableError(path,
                      "a gravação de um registro foi interrompida (queda do programa ou de "
                      "energia) e não foi possível restaurá-lo (" +
                          ErrnoText(err) +
                          "). Abra a tabela num lugar onde ela possa ser gravada para que o "
                          "registro volte ao que era.");
    }
  }
  RemoveJournal(journalPath);
}

std::optional<FileIdentity> PatchRecord(const std::string& path, const FileIdentity& expected,
                                        std::uint64_t offset, const std::string& oldBytes,
                                        const std::string& newBytes) {
  RecoverRecordPatch(path);
  const std::string file = FileToReplace(path);
  const Fd fd(::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
  if (fd.Get() < 0) return std::nullopt;  // the whole rewrite will say why, if it fails too
  const FileIdentity id = IdentityOfOpenFile(fd.Get());
  if (!(id == expected) || oldBytes.size() != newBytes.size() || oldBytes.empty() ||
      offset + oldBytes.size() > static_cast<std::uint64_t>(id.size)) {
    return std::nullopt;
  }
  std::string current;
  if (!ReadAt(fd.Get(), current, oldBytes.size(), offset) || current != oldBytes) {
    return std::nullopt;
  }
  if (current == newBytes) return id;

  Journal j;
  j.device = static_cast<std::uint64_t>(id.device);
  j.inode = static_cast<std::uint64_t>(id.inode);
  j.size = static_cast<std::uint64_t>(id.size);
  j.offset = offset;
  j.oldBytes = oldBytes;
  j.newBytes = newBytes;
  const std::string journalPath = JournalPath(path);
  if (const int err = WriteJournal(journalPath, Encode(j))) {
    ::unlink(journalPath.c_str());
    ThrowTableError(path, "não foi possível gravar o registro (" + ErrnoText(err) +
                              "). A tabela ficou como estava.");
  }
  if (const int err = WriteAndSync(fd.Get(), newBytes, offset)) {
    // Put the old bytes back now if the disk lets us; otherwise the journal will, at the next
    // opening of the table.
    if (WriteAt(fd.Get(), oldBytes, offset) == 0 && ::fsync(fd.Get()) == 0) {
      RemoveJournal(journalPath);
      ThrowTableError(path, "não foi possível gravar o registro (" + ErrnoText(err) +
                                "). A tabela ficou como estava.");
    }
    ThrowTableError(path, "não foi possível gravar o registro (" + ErrnoText(err) +
                              "). O registro volta ao que era quando a tabela for aberta de "
                              "novo.");
  }
  const FileIdentity after = IdentityOfOpenFile(fd.Get());
  RemoveJournal(journalPath);
  return after;
}

}  // namespace qv::detail

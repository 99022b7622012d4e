#include "forge/rar5_writer.h"

#include <fstream>

#include "forge/bytes.h"
#include "forge/crc32.h"
#include "forge/path_text.h"

namespace forge {

namespace {

constexpr char kSignature[] = "Rar!\x1A\x07\x01\x00";

enum HeaderType : std::uint64_t { kMain = 1, kFile = 2, kService = 3, kEndOfArchive = 5 };

constexpr std::uint64_t kHeaderHasExtra = 0x0001;
constexpr std::uint64_t kHeaderHasData = 0x0002;
constexpr std::uint64_t kHeaderDependsOnFile = 0x0020;

constexpr std::uint64_t kFileDirectory = 0x0001;
constexpr std::uint64_t kFileHasTime = 0x0002;
constexpr std::uint64_t kFileHasCrc = 0x0004;

constexpr std::uint64_t kHostWindows = 0;
constexpr std::uint64_t kHostUnix = 1;

constexpr std::uint64_t kExtraRedirection = 0x05;
constexpr std::uint64_t kExtraServiceData = 0x07;

enum Redirection : std::uint64_t {
  kUnixSymlink = 1,
  kWindowsSymlink = 2,
  kJunction = 3,
  kHardLink = 4,
};

constexpr std::uint32_t kWindowsFile = 0x20;        // FILE_ATTRIBUTE_ARCHIVE
constexpr std::uint32_t kWindowsDirectory = 0x10;
constexpr std::uint32_t kWindowsReparse = 0x400;
constexpr std::uint32_t kUnixLinkMode = 0120777;
constexpr std::uint32_t kModificationTime = 1762560000;  // 2025-11-08, fixed for reproducibility

std::string Record(std::uint64_t type, const std::string& data) {
  const std::string typed = Rar5Vint(type) + data;
  return Rar5Vint(typed.size()) + typed;
}

std::string RedirectionRecord(std::uint64_t type, bool directory, const std::string& target) {
  return Record(kExtraRedirection, Rar5Vint(type) + Rar5Vint(directory ? 1 : 0) +
                                       Rar5Vint(target.size()) + target);
}

// CRC32, header size, then the header fields from the type on.
std::string Block(std::uint64_t type, std::uint64_t flags, const std::string& extra,
                  std::uint64_t data_size, const std::string& fields) {
  std::string body = Rar5Vint(type);
  if (!extra.empty()) flags |= kHeaderHasExtra;
  if (data_size > 0) flags |= kHeaderHasData;
  body += Rar5Vint(flags);
  if (!extra.empty()) body += Rar5Vint(extra.size());
  if (data_size > 0) body += Rar5Vint(data_size);
  body += fields + extra;
  const std::string sized = Rar5Vint(body.size()) + body;
  std::string block;
  PutLe(&block, Crc32Of(sized.data(), sized.size()), 4);
  return block + sized;
}

struct FileFields {
  std::uint64_t file_flags = 0;
  std::uint64_t unpacked_size = 0;
  std::uint32_t attributes = kWindowsFile;
  std::uint32_t crc = 0;
  std::uint64_t host = kHostWindows;
  std::string name;
};

std::string EncodeFileFields(const FileFields& f) {
  std::string fields = Rar5Vint(f.file_flags) + Rar5Vint(f.unpacked_size) + Rar5Vint(f.attributes);
  if (f.file_flags & kFileHasTime) PutLe(&fields, kModificationTime, 4);
  if (f.file_flags & kFileHasCrc) PutLe(&fields, f.crc, 4);
  fields += Rar5Vint(0);  // compression: version 0, stored, smallest dictionary
  fields += Rar5Vint(f.host);
  fields += Rar5Vint(f.name.size()) + f.name;
  return fields;
}

class Writer {
 public:
  explicit Writer(const std::filesystem::path& out) : stream_(out, std::ios::binary | std::ios::trunc) {}
  bool ok() const { return static_cast<bool>(stream_); }
  void Put(const std::string& bytes) { stream_.write(bytes.data(), static_cast<std::streamsize>(bytes.size())); }
  bool PutContent(const Content& content) {
    return content.Emit([&](std::string_view piece) {
      stream_.write(piece.data(), static_cast<std::streamsize>(piece.size()));
      return static_cast<bool>(stream_);
    });
  }
  bool Close() {
    stream_.close();
    return !stream_.fail();
  }

 private:
  std::ofstream stream_;
};

bool WriteEntry(Writer* writer, const Entry& entry, std::string* error) {
  FileFields f;
  f.name = entry.path;
  f.file_flags = kFileHasTime;
  std::string extra;
  std::uint64_t type = kFile;
  std::uint64_t header_flags = 0;
  bool with_data = false;
  switch (entry.kind) {
    case EntryKind::kFile:
      with_data = true;
      break;
    case EntryKind::kDirectory:
      f.file_flags |= kFileDirectory;
      f.attributes = kWindowsDirectory;
      break;
    case EntryKind::kUnixSymlink:
      f.host = kHostUnix;
      f.attributes = kUnixLinkMode;
      extra = RedirectionRecord(kUnixSymlink, false, entry.target);
      break;
    case EntryKind::kWindowsSymlink:
      f.attributes = kWindowsFile | kWindowsReparse;
      extra = RedirectionRecord(kWindowsSymlink, false, entry.target);
      break;
    case EntryKind::kJunction:
      f.file_flags |= kFileDirectory;
      f.attributes = kWindowsDirectory | kWindowsReparse;
      extra = RedirectionRecord(kJunction, true, entry.target);
      break;
    case EntryKind::kHardLink:
      extra = RedirectionRecord(kHardLink, false, entry.target);
      break;
    case EntryKind::kAlternateStream:
      type = kService;
      header_flags = kHeaderDependsOnFile;
      f.file_flags = 0;
      f.attributes = 0;
      f.name = "STM";
      extra = Record(kExtraServiceData, ":" + entry.target);
      with_data = true;
      break;
    case EntryKind::kAntiItem:
      if (error) *error = "RAR5 archives have no anti-items (7z only): " + entry.path;
      return false;
  }
  if (with_data) {
    f.file_flags |= kFileHasCrc;
    f.unpacked_size = entry.content.Size();
    f.crc = entry.content.Crc();
  }
  writer->Put(Block(type, header_flags, extra, f.unpacked_size, EncodeFileFields(f)));
  return !with_data || writer->PutContent(entry.content);
}

}  // namespace

std::string Rar5Vint(std::uint64_t value) {
  std::string out;
  do {
    unsigned char byte = value & 0x7F;
    value >>= 7;
    if (value != 0) byte |= 0x80;
    out.push_back(static_cast<char>(byte));
  } while (value != 0);
  return out;
}

bool WriteRar5(const std::vector<Entry>& entries, const std::filesystem::path& out,
               std::string* error) {
  Writer writer(out);
  if (!writer.ok()) {
    if (error) *error = "cannot create " + PathText(out);
    return false;
  }
  writer.Put(std::string(kSignature, 8));
  writer.Put(Block(kMain, 0, "", 0, Rar5Vint(0)));
  for (const Entry& entry : entries)
    if (!WriteEntry(&writer, entry, error)) {
      writer.Close();
      std::error_code ignored;
      std::filesystem::remove(out, ignored);
      return false;
    }
  writer.Put(Block(kEndOfArchive, 0, "", 0, Rar5Vint(0)));
  if (!writer.Close()) {
    if (error) *error = "cannot write " + PathText(out);
    std::error_code ignored;
    std::filesystem::remove(out, ignored);
    return false;
  }
  return true;
}

}  // namespace forge

#include "tools/quillor/request_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "tools/quillor/command_error.h"
#include "tools/quillor/transact_notes.h"

namespace quillor {
namespace {

constexpr size_t kPiece = size_t{64} << 10;

const char* const kNameAFile =
    "name an XML request file (examples/add.xml is one), or - for standard input";

[[noreturn]] void CannotRead(const std::string& source, int error) {
  throw CommandError("cannot read the request file " + source + ": " + std::strerror(error),
                     kNameAFile);
}

// What kind of file, in words, for those that hold no request.
const char* Refused(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return nullptr;
}

// Room for `more` bytes after what the text holds: the capacity doubles, and
// goes straight to the bound's `most` + 1 bytes once doubling would reach the
// bound, so that the text's last growth copies at most half of it and the text
// never holds room past the bound.
void MakeRoom(std::string& text, size_t more, uint64_t most) {
  const uint64_t needed = uint64_t{text.size()} + more;
  if (needed <= text.capacity()) return;
  uint64_t room = std::max<uint64_t>(needed, 2 * uint64_t{text.capacity()});
  if (room >= most) room = most + 1;
  // Reserved on a new text: growing a text in place may round the room up to
  // twice its capacity.
  std::string bigger;
  bigger.reserve(static_cast<size_t>(room));
  bigger.append(text);
  text.swap(bigger);
}

class Reader {
 public:
  Reader(std::string source, uint64_t most) : source_(std::move(source)), most_(most) {}

  // Reads from the descriptor to its end or past the bound. A pipe gives what it
  // holds at the moment: only a read of nothing is its end.
  void FromDescriptor(int fd, RequestRead& read) {
    ReadPieces(read, [&](char* at, size_t want) {
      ssize_t got;
      do {
        got = ::read(fd, at, want);
      } while (got < 0 && errno == EINTR);
      if (got < 0) {
        const int error = errno;
        CannotRead(source_, error);
      }
      return Piece{static_cast<size_t>(got), got == 0};
    });
    Finish(read);
  }

  void FromStream(std::istream& in, RequestRead& read) {
    ReadPieces(read, [&](char* at, size_t want) {
      in.read(at, static_cast<std::streamsize>(want));
      const auto got = static_cast<size_t>(in.gcount());
      return Piece{got, got < want};
    });
    if (in.bad()) throw CommandError("cannot read the request from standard input", kNameAFile);
    Finish(read);
  }

 private:
  struct Piece {
    size_t got;
    bool end;
  };

  // Appends pieces that `read_into(at, want)` reads until it says the end came
  // or the text is past the bound.
  template <typename ReadInto>
  void ReadPieces(RequestRead& read, ReadInto&& read_into) {
    for (;;) {
      const size_t want = Want(read);
      if (want == 0) break;
      MakeRoom(read.text, want, most_);
      const size_t had = read.text.size();
      read.text.resize(had + want);
      const Piece piece = read_into(read.text.data() + had, want);
      read.text.resize(had + piece.got);
      if (piece.end) break;
    }
  }

  // The next piece: never past the bound's one byte more.
  size_t Want(const RequestRead& read) const {
    const uint64_t left = most_ + 1 - std::min<uint64_t>(read.text.size(), most_ + 1);
    return static_cast<size_t>(std::min<uint64_t>(left, kPiece));
  }

  void Finish(RequestRead& read) const {
    read.cut_short = read.text.size() > most_;
    if (!read.cut_short) read.size = read.text.size();
  }

  std::string source_;
  uint64_t most_;
};

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

RequestRead ReadRequest(const std::string& source, std::istream& in, uint64_t most,
                        std::ostream& err) {
  RequestRead read;
  Reader reader(source, most);
  if (source == "-") {
    if (&in == &std::cin && ::isatty(STDIN_FILENO)) err << kReadingStandardInput << std::endl;
    reader.FromStream(in, read);
    return read;
  }
  // Told before opening: opening a FIFO waits for its writer, and a folder opens.
  struct stat named {};
  if (::stat(source.c_str(), &named) != 0) CannotRead(source, errno);
  if (const char* kind = Refused(named.st_mode)) {
    throw CommandError("the request file " + source + " is " + kind + ", not a file", kNameAFile);
  }
  const Descriptor fd(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) CannotRead(source, errno);
  struct stat opened {};
  if (::fstat(fd.get(), &opened) != 0) CannotRead(source, errno);
  if (const char* kind = Refused(opened.st_mode)) {
    throw CommandError("the request file " + source + " is " + kind + ", not a file", kNameAFile);
  }
  if (S_ISREG(opened.st_mode)) {
    // Read straight into a text of the file's size (or of the bound's): a request
    // of many megabytes is held once.
    const auto size = static_cast<uint64_t>(std::max<off_t>(opened.st_size, 0));
    read.text.reserve(static_cast<size_t>(std::min(size, most + 1)));
    reader.FromDescriptor(fd.get(), read);
    // A file larger than the bound: its size is known without reading it all.
    if (read.cut_short) read.size = std::max<uint64_t>(size, most + 1);
    return read;
  }
  if (::isatty(fd.get())) err << kReadingStandardInput << std::endl;
  reader.FromDescriptor(fd.get(), read);
  return read;
}

}  // namespace quillor

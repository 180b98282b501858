#include "assets/builtin_bank.h"

#include <streambuf>

extern "C" const uint8_t velmo_builtin_bank_begin[];
extern "C" const uint8_t velmo_builtin_bank_end[];

namespace velmo {
namespace {

// A read-only stream buffer over memory that supports seeking, as the loader rewinds first.
class MemoryBuffer : public std::streambuf {
 public:
  explicit MemoryBuffer(std::span<const uint8_t> bytes) {
    char* begin = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    setg(begin, begin, begin + bytes.size());
  }

 protected:
  pos_type seekoff(off_type offset, std::ios_base::seekdir dir,
                   std::ios_base::openmode which) override {
    if ((which & std::ios_base::in) == 0) return pos_type(off_type(-1));
    const off_type base = dir == std::ios_base::beg   ? 0
                          : dir == std::ios_base::cur ? gptr() - eback()
                                                      : egptr() - eback();
    const off_type target = base + offset;
    if (target < 0 || target > egptr() - eback()) return pos_type(off_type(-1));
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
  }
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }
};

class MemoryStream : public std::istream {
 public:
  explicit MemoryStream(std::span<const uint8_t> bytes) : std::istream(nullptr), buffer_(bytes) {
    rdbuf(&buffer_);
  }

 private:
  MemoryBuffer buffer_;
};

}  // namespace

std::span<const uint8_t> BuiltinBankImage() {
  return {velmo_builtin_bank_begin,
          static_cast<size_t>(velmo_builtin_bank_end - velmo_builtin_bank_begin)};
}

std::unique_ptr<std::istream> OpenBuiltinBank() {
  return std::make_unique<MemoryStream>(BuiltinBankImage());
}

}  // namespace velmo

// Bounds-checked, little-endian access to the bytes of a file.
//
// Every read and write that the format code makes goes through ByteView::At, which
// refuses any range that does not lie wholly within the bytes. Offsets are 64-bit, so
// a 32-bit RVA plus a record index times a record size never wraps.
#ifndef CORVINADE_IMAGEFILES_BYTE_VIEW_H
#define CORVINADE_IMAGEFILES_BYTE_VIEW_H

#include <cstdint>
#include <type_traits>

namespace corvinade {

// True when the `width` bytes from `offset` lie within `length` bytes. Written in
// subtraction form, so that no intermediate sum can wrap.
constexpr bool FitsWithin(std::uint64_t offset, std::uint64_t width, std::uint64_t length) {
  return offset <= length && width <= length - offset;
}

// A non-owning view of `length` bytes. `Byte` is `const std::uint8_t` for read-only
// views and `std::uint8_t` for views that may be written.
template <typename Byte>
class ByteView {
 public:
  constexpr ByteView(Byte* data, std::uint64_t length) : data_(data), length_(length) {}

  // A writable view can be read as a read-only one.
  template <typename Other, typename = std::enable_if_t<std::is_convertible<Other*, Byte*>::value>>
  constexpr ByteView(const ByteView<Other>& other)  // NOLINT: implicit by design
      : data_(other.data_), length_(other.length_) {}

  constexpr std::uint64_t Length() const { return length_; }

  // The start of the `width` bytes at `offset`, or nullptr when they do not all lie
  // within the view.
  constexpr Byte* At(std::uint64_t offset, std::uint64_t width) const {
    return FitsWithin(offset, width, length_) ? data_ + offset : nullptr;
  }

  bool ReadU16(std::uint64_t offset, std::uint16_t& value) const {
    const Byte* p = At(offset, 2);
    if (p == nullptr) {
      return false;
    }
    value = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    return true;
  }

  bool ReadU32(std::uint64_t offset, std::uint32_t& value) const {
    const Byte* p = At(offset, 4);
    if (p == nullptr) {
      return false;
    }
    value = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
            (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return true;
  }

  // Only instantiable on writable views.
  bool WriteU32(std::uint64_t offset, std::uint32_t value) const {
    Byte* p = At(offset, 4);
    if (p == nullptr) {
      return false;
    }
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
    return true;
  }

 private:
  template <typename>
  friend class ByteView;

  Byte* data_;
  std::uint64_t length_;
};

using ConstBytes = ByteView<const std::uint8_t>;
using MutableBytes = ByteView<std::uint8_t>;

}  // namespace corvinade

#endif  // CORVINADE_IMAGEFILES_BYTE_VIEW_H

// Text inside SVG pictures: any bytes as well-formed XML, numbers as
// attributes take them, round steps for axes, and the writer a picture is
// drawn into, piece by piece, so that no picture is ever held whole. Writes
// only to the sink it is given.
#ifndef VANTREL_SVG_TEXT_H_
#define VANTREL_SVG_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "util/byte_sink.h"

namespace vantrel {

// The largest picture drawn: what common SVG viewers still open (librsvg
// refuses more than a million elements).
inline constexpr std::uint64_t kLargestPictureBytes = std::uint64_t{64} << 20;
inline constexpr std::uint64_t kLargestPictureElements = 1'000'000;

// Where a picture's text goes: through a buffer to a sink, or, made
// without one, nowhere, only counted, to learn a picture's size before a
// byte of it is written. Memory stays at the buffer's size whatever the
// picture's. One thread.
class SvgWriter {
 public:
  // Counts only.
  SvgWriter() = default;
  // Writes to `sink`, which must outlive the writer.
  explicit SvgWriter(ByteSink& sink) : sink_(&sink) { buffer_.reserve(kBufferSize); }
  SvgWriter(const SvgWriter&) = delete;
  SvgWriter& operator=(const SvgWriter&) = delete;

  // Appends each part, a string or a string view; markup is passed as it
  // stands.
  template <class... Parts>
  void add(const Parts&... parts) {
    (append(std::string_view(parts)), ...);
  }

  // Appends `text` as XML character data: markup escaped, and each byte
  // that is not part of a character XML allows (a control byte, a byte that
  // is not UTF-8) shown as \xNN, so that any file name makes a well-formed
  // picture.
  void add_xml_text(std::string_view text);

  // What has been added so far: bytes, and elements (start tags).
  std::uint64_t bytes() const { return bytes_; }
  std::uint64_t elements() const { return elements_; }
  // True once the picture is larger than a viewer opens.
  bool too_large() const {
    return bytes_ > kLargestPictureBytes || elements_ > kLargestPictureElements;
  }

  // Hands what is buffered to the sink. Returns 0, or the error number of
  // the first write that failed, after which nothing more was written.
  int flush();

 private:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 16;

  void append(std::string_view text);

  ByteSink* sink_ = nullptr;
  std::string buffer_;
  std::uint64_t bytes_ = 0;
  std::uint64_t elements_ = 0;
  int error_number_ = 0;
};

// `value` with up to six significant digits: "12.5", "0.08".
std::string number_text(double value);

// The least of 1, 2, 5, 10, 20, 50, ... that is at least `target`: a step
// between the numbers along a picture's axes, or the length of its scale.
std::int64_t round_number_from(double target);

}  // namespace vantrel

#endif  // VANTREL_SVG_TEXT_H_

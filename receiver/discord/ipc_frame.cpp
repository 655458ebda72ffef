#include "receiver/discord/ipc_frame.h"

namespace receiver {

namespace {

constexpr std::size_t kHeaderBytes = 8;

void AppendWord(std::string& out, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) {
    out += static_cast<char>((word >> shift) & 0xFF);
  }
}

std::uint32_t WordAt(const std::string& bytes, std::size_t at) {
  std::uint32_t word = 0;
  for (int i = 3; i >= 0; --i) {
    word = (word << 8) |
           static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return word;
}

}  // namespace

std::string EncodeFrame(Opcode op, std::string_view json) {
  std::string out;
  out.reserve(kHeaderBytes + json.size());
  AppendWord(out, static_cast<std::uint32_t>(op));
  AppendWord(out, static_cast<std::uint32_t>(json.size()));
  out += json;
  return out;
}

void FrameReader::Add(std::string_view bytes) {
  if (bad_) return;
  // What was read is dropped before the buffer grows.
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_ += bytes;
}

FrameReader::Read FrameReader::Next(IpcFrame& frame) {
  if (bad_) return Read::kBad;
  if (buffer_.size() - start_ < kHeaderBytes) return Read::kMore;
  const std::uint32_t op = WordAt(buffer_, start_);
  const std::uint32_t length = WordAt(buffer_, start_ + 4);
  if (op > static_cast<std::uint32_t>(Opcode::kPong) ||
      length > kMaxFrameJson) {
    bad_ = true;
    buffer_.clear();
    start_ = 0;
    return Read::kBad;
  }
  if (buffer_.size() - start_ - kHeaderBytes < length) return Read::kMore;
  frame.op = static_cast<Opcode>(op);
  frame.json.assign(buffer_, start_ + kHeaderBytes, length);
  start_ += kHeaderBytes + length;
  return Read::kFrame;
}

}  // namespace receiver

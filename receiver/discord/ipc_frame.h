#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Discord's local RPC frames: a little-endian 32-bit opcode, a 32-bit length
// and that many bytes of JSON.
namespace receiver {

enum class Opcode : std::uint32_t {
  kHandshake = 0,
  kFrame = 1,
  kClose = 2,
  kPing = 3,
  kPong = 4
};

struct IpcFrame {
  Opcode op = Opcode::kFrame;
  std::string json;
};

// Discord's own frames are a few kilobytes; a longer one is no frame of its.
inline constexpr std::size_t kMaxFrameJson = 64 * 1024;

std::string EncodeFrame(Opcode op, std::string_view json);

// Frames out of the bytes read from the pipe, in whatever pieces they came.
class FrameReader {
 public:
  void Add(std::string_view bytes);

  enum class Read { kFrame, kMore, kBad };
  // kFrame: the next frame is in `frame`; kMore: its bytes are not all
  // there yet; kBad: an unknown opcode or a length over kMaxFrameJson, after
  // which nothing on the connection can be read.
  Read Next(IpcFrame& frame);

 private:
  std::string buffer_;
  std::size_t start_ = 0;  // of the next frame in buffer_
  bool bad_ = false;
};

}  // namespace receiver

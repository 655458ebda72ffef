#pragma once

namespace report {

// Opens one IPv4 TCP connection to host:port (low 16 bits of the port), sends
// `text` up to its terminating zero with a single send, and closes. Blocking;
// never reads the answer. "localhost" is taken as 127.0.0.1 without a lookup.
bool SendRequest(const char* host, int port, const char* text);

}  // namespace report

#pragma once
#include <cstdint>

namespace velmora {

// Where bytes for the host go. The connection implements it; the key encoder and the typed-text
// conversions send through it and never see a socket. Bytes are sent in call order and none is
// lost while a connection lives; with no connection they are dropped.
class ByteSink {
 public:
  virtual ~ByteSink() = default;

  // One protocol byte (a telnet reply or key-sequence byte), as it is.
  virtual void SendByte(uint8_t b) = 0;
  // One byte of typed text: a line feed goes out as CR LF, and a data byte 0xFF is doubled
  // (IAC IAC) so that the host cannot read it as a telnet command.
  virtual void SendChar(uint8_t b) = 0;
};

}  // namespace velmora

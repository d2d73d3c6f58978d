#pragma once
#include <string>

#include "emulation/trace_writer.h"

namespace velmora {

// The trace file's name for a process: its identifier in decimal, then ".log".
std::string TraceFileName(int processId);

// The protocol trace written to a file: every record opens the file for appending, writes and
// closes it, so each record is complete on disk when Trace returns and records of successive
// switch-ons and connections accumulate. A file that cannot be opened drops the record.
class DebugTrace : public TraceWriter {
 public:
  explicit DebugTrace(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

 protected:
  void WriteRecord(const char* format, va_list args) override;

 private:
  std::string path_;
};

}  // namespace velmora

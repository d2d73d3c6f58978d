#pragma once
#include <string>
#include <utility>

#include "emulation/escape_interpreter.h"
#include "emulation/stream_state.h"
#include "emulation/terminal_options.h"
#include "emulation/trace_writer.h"
#include "screen/screen_model.h"
#include "telnet/receive_pipeline.h"
#include "telnet/reply_sink.h"
#include "telnet/telnet_negotiator.h"

namespace velmora {

// The terminal behind one window: the screen model and everything that turns the host's bytes
// into changes of it. One object owns each piece of state; the pieces reach each other through
// the references handed down here.
class TerminalSession {
 private:
  NullReplySink noReplies_;  // first, so that it exists before anything refers to it

 public:
  TerminalSession(ScreenObserver& observer, TraceWriter& trace, ReplySink& replies)
      : screen_(observer), escapes_(screen_, stream_, options_, trace),
        negotiator_(stream_, trace, options_, screen_, replies),
        pipeline_(screen_, stream_, options_, escapes_, negotiator_, trace) {}
  // A terminal whose telnet replies go nowhere.
  TerminalSession(ScreenObserver& observer, TraceWriter& trace)
      : TerminalSession(observer, trace, noReplies_) {}
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  // The pieces, each with its own interface.
  ScreenModel& screen() { return screen_; }
  const ScreenModel& screen() const { return screen_; }
  TelnetNegotiator& negotiator() { return negotiator_; }
  const TelnetNegotiator& negotiator() const { return negotiator_; }
  ReceivePipeline& pipeline() { return pipeline_; }
  const ReceivePipeline& pipeline() const { return pipeline_; }
  // What the pipeline is in the middle of, and the kanji shift.
  const StreamState& stream() const { return stream_; }

  // The host encoding and terminal type in force, changed by the window's commands.
  const TerminalOptions& options() const { return options_; }
  void SetHostEncoding(HostEncoding encoding) { options_.hostEncoding = encoding; }
  // The one place the terminal type changes, so the escape interpreter is told here.
  void SetTerminalType(std::string type) {
    options_.terminalType = std::move(type);
    escapes_.TerminalTypeChanged();
  }

  // The connection closed: the negotiator forgets what was agreed and echoes locally again,
  // and the kanji shift ends.
  void OnConnectionClosed() {
    negotiator_.Reset();
    stream_.kanjiMode = false;
  }

 private:
  TerminalOptions options_;
  StreamState stream_;
  ScreenModel screen_;
  EscapeInterpreter escapes_;
  TelnetNegotiator negotiator_;
  ReceivePipeline pipeline_;
};

}  // namespace velmora

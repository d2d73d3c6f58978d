#pragma once
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
      : screen(observer), escapes(screen, stream, options, trace),
        negotiator(stream, trace, options, screen, replies),
        pipeline(screen, stream, options, escapes, negotiator, trace) {}
  // A terminal whose telnet replies go nowhere.
  TerminalSession(ScreenObserver& observer, TraceWriter& trace)
      : TerminalSession(observer, trace, noReplies_) {}
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  TerminalOptions options;
  StreamState stream;
  ScreenModel screen;
  EscapeInterpreter escapes;
  TelnetNegotiator negotiator;
  ReceivePipeline pipeline;
};

}  // namespace velmora

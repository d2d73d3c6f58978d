#pragma once
// A terminal session without a connection, for tests that feed host bytes straight into its
// receive pipeline.
#include <cstdint>

#include <gtest/gtest.h>

#include "encoding/host_encoding.h"
#include "telnet/terminal_session.h"

namespace velmora::testing {

// Makes the session's screen ready as a connection would: the grid and backlog limit, the line
// store, the state of a fresh connection, and the host's encoding.
inline void PrepareOffline(TerminalSession& session, int32_t columns, int32_t rows, uint32_t backlogMax,
                           HostEncoding encoding) {
  ScreenModel& s = session.screen();
  s.SetGridSize(columns, rows, backlogMax);
  EXPECT_TRUE(s.CreateLineStore());
  s.ResetForConnection();
  session.SetHostEncoding(encoding);
}

}  // namespace velmora::testing

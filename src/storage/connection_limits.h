#pragma once

namespace panorello {

// Time-outs of every database connection (seconds).
struct ConnectionLimits {
  int connect_seconds = 15;
  int query_seconds = 30;
};

}  // namespace panorello

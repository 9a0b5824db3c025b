#pragma once

#include <cstddef>
#include <cstdint>

namespace lorvane {

// What a server can make this client hold or do, bounded in one place.
// Going past a limit fails the request at once with its own error.
struct TransferLimits {
  // The largest response body kept in memory (raw or inflated), unless a
  // request sets its own. Bodies written to a file are bounded by the disk.
  // Past it: "The response body is larger than the limit of %llu bytes"
  // (kResponseTooLargeErrorType).
  static constexpr std::uint64_t kDefaultMaximumBodyLength = 128ull << 20;
  // The most interim (1xx) replies before the real one. Past it: "The
  // server sent more than %d interim responses"
  // (kTooManyInterimResponsesErrorType).
  static constexpr int kMaximumInterimResponses = 32;
  // The most memory set aside up front from a length the server announced
  // where no other limit bounds it (a gzip trailer, or a Content-Length
  // the system will not reserve in one piece). Beyond it a buffer grows as
  // bytes really arrive; no error of its own.
  static constexpr std::size_t kMaximumReservation = 16u << 20;
  // A body kept in memory is reserved whole from its Content-Length, up to
  // the request's body limit and never beyond this: the pages a liar never
  // fills stay untouched address space, and a caller who lifts the limit
  // does not lift the reservation with it. Past it the body grows as it
  // arrives.
  static constexpr std::size_t kMaximumBodyReservation = 128u << 20;
  // A gzip trailer is believed as a size only up to this multiple of the
  // compressed length; past it the output grows as it is produced.
  static constexpr std::size_t kMaximumTrustedInflationRatio = 16;
  // The status line and header fields of one response together.
  static constexpr std::size_t kMaximumHeaderLength = 64u << 10;
};

}  // namespace lorvane

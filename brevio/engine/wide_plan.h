#pragma once
// What the wide whole-file loops share whatever their instruction set: the
// unchecked writer and the plan of a window (which byte of it is kept, which
// becomes a line end or a space), worked out from its blank masks.

#include <cstdint>

#include "brevio/engine/stream_cleaner.h"

namespace brevio::detail {

struct WideOut {
  char* pos;
  void append_crlf() {
    pos[0] = '\r';
    pos[1] = '\n';
    pos += 2;
  }
  void append_lf() { *pos++ = '\n'; }
  void append_spaces(std::uint64_t) { *pos++ = ' '; }  // PayOwed writes one at most
};

// Where the bytes of a window's closed gaps go (bit i: byte i).
struct Plan {
  std::uint64_t ordinary;  // text: kept as it is
  std::uint64_t crlf;      // a CR LF is written for this byte
  std::uint64_t space;     // a space is written for this byte (a gap's last)
};

// collapse: one line end per gap (no blank line), not the rule's second at
// a CR after an LF.
template <bool kCollapse>
inline Plan PlanWindow(std::uint64_t spaces, std::uint64_t lf, std::uint64_t cr,
                       std::uint64_t valid) {
  const std::uint64_t blank = (spaces | lf | cr) & valid;
  const std::uint64_t starts = blank & ~(blank << 1);
  // Adding a gap's start bit carries over the bytes of a kind and stops at the
  // first byte of another: the first line end (or the text after the gap),
  // and the first CR.
  const std::uint64_t first_stop = (spaces + starts) & ~spaces;
  const std::uint64_t not_cr = blank & ~cr;
  const std::uint64_t first_cr = (not_cr + starts) & ~not_cr & cr;
  const std::uint64_t ordinary = ~blank & valid;
  const std::uint64_t line_end = first_stop & (lf | cr);
  return {ordinary, kCollapse ? line_end : line_end | first_cr, (first_stop & ordinary) >> 1};
}

// The plan for the bytes before a fence only (valid: those bytes).
inline Plan TrimPlan(const Plan& plan, std::uint64_t valid) {
  return {plan.ordinary & valid, plan.crlf & valid, plan.space & valid};
}

// The CR LFs of a plan that have no byte of their gap after them for the
// LF: the next byte is text or another line end. Each needs one byte more.
inline std::uint64_t Doubled(const Plan& plan) {
  return ((plan.crlf << 1) & (plan.ordinary | plan.crlf)) >> 1;
}

// Whether the window at p is already-trimmed CR LF text, told without its
// masks. Where masks are cheap the loop finds such windows through them, and
// these say so; a set whose masks cost more defines its own two in its
// namespace, which hide these.
inline constexpr bool kQuickClean = false;
template <class Blanks>
inline bool QuickClean(const char*, const Blanks&) {
  return false;
}

}  // namespace brevio::detail

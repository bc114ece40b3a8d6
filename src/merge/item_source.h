// Where a turn of a pass's loop takes its items from. Two sources give
// them: the plain reads (ReaderItems, below), which take any input from any
// place, and the accelerator's loaded block, which reads straight from the
// block's bytes and says when it cannot tell. A source offers:
//
//   token(t)        the next whitespace-separated token; false when none is left
//   held_token(t)   the same where the source holds the whole token; else
//                   false, nothing read and sure() as it was
//   line(t)         the rest of the line at the read position, its line feed
//                   consumed; false at the end of the input, nothing left
//   group(c, v)     a group code's line and its value's, as groups::read_group
//                   reads them
//   integer(t, v), real(t, v), is_real(t)
//                   whether a token, or a value's trimmed line, is one whole
//                   number by the literals' grammars (read/*_literal.h)
//   written(t, v)   real(t, v), or with v a value the result writes as it
//                   writes t's (numeric::as_written gives the same for both)
//   mark(), rewind(), forget_mark()
//                   reading again from a point (one mark at a time)
//   keep(t, copy)   t, made to outlive the next reads when it would not
//   decline()       the turn leaves this case to the plain reads
//   sure()          false once the source could not tell what comes (an item
//                   may go on past what it holds) or a case was declined: the
//                   turn then takes nothing and changes nothing
//   general         true for a source that takes every case itself: the
//                   header's extents, warnings, entities cut off by the end
//
// Views stay valid until the next read or rewind, unless kept.
#pragma once

#include <string>
#include <string_view>

#include "merge/group_rules.h"
#include "read/integer_literal.h"
#include "read/reader.h"
#include "read/real_literal.h"

struct ReaderItems {
  static constexpr bool general = true;

  Reader& r;

  bool token(std::string_view& t) { return r.read_token(t); }
  bool held_token(std::string_view& t) { return r.read_token(t); }
  bool line(std::string_view& t) { return r.read_line(t); }
  groups::Group group(int& code, std::string_view& value) { return groups::read_group(*this, code, value); }
  static bool integer(std::string_view t, int& v) { return literal::whole_integer(t, v); }
  static bool real(std::string_view t, double& v) { return literal::whole_real(t, v); }
  static bool is_real(std::string_view t) { return literal::is_whole_real(t); }
  static bool written(std::string_view t, double& v) { return literal::whole_real(t, v); }
  void mark() { r.mark(); }
  void rewind() { r.rewind(); }
  void forget_mark() { r.forget_mark(); }
  static std::string_view keep(std::string_view t, std::string& copy) {
    copy.assign(t);
    return copy;
  }
  static void decline() {}
  [[nodiscard]] static bool sure() { return true; }
};

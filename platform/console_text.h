// The console's line end. Texts written "\n" outside the sink reach a Windows console as CR LF,
// as the sink's own texts already do; a text that carries "\r\n" is left as it is.
#pragma once

#include <string>
#include <string_view>

namespace corvalin {

// Every line feed not already preceded by a carriage return gets one. `after_cr` carries, from
// one text to the next written to the same stream, whether the last byte was a carriage
// return, so that a "\r\n" split over two writes is not doubled either.
std::string WithCarriageReturns(std::string_view text, bool& after_cr);

}  // namespace corvalin

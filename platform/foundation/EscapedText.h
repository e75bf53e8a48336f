#pragma once

#include <string>
#include <string_view>

namespace velarium {

// A name made safe to show: control characters (C0, DEL and the C1 range)
// and bytes that are not valid UTF-8 become \xNN (or \u00NN for C1
// characters), and a backslash becomes \\, so that what is shown tells the
// name exactly and can neither drive a terminal nor fake lines of a message.
std::string escapedText(std::string_view text);

}  // namespace velarium

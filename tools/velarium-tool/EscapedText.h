#pragma once

#include <string>
#include <string_view>

namespace velarium::tool {

// A name made safe to print on a terminal: control characters (C0, DEL and
// the C1 range) and bytes that are not valid UTF-8 become \xNN (or \u00NN
// for C1 characters), and a backslash becomes \\, so that what is printed
// tells the name exactly and cannot drive the terminal.
std::string escapedText(std::string_view text);

}  // namespace velarium::tool

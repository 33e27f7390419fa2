#pragma once
// Where the library's diagnostic lines go. Library code never prints: lines
// such as "Error 1 in subroutine conv_ds.\n" are handed to the handler set
// here, in the order they arise. The command-line programs connect it to
// standard error; a host may route the text into its own log. Without a
// handler the lines are dropped.

#include <functional>
#include <string>

namespace wavra {

// Receives one diagnostic text exactly as it would have been printed
// (line ends included).
using DiagnosticHandler = std::function<void(const std::string& text)>;

// Replaces the process-wide handler (an empty one drops the lines). Safe to
// call from any thread; the handler itself may be called from any thread
// that runs library code.
void setDiagnosticHandler(DiagnosticHandler handler);

// Hands `text` to the current handler.
void diagnostic(const std::string& text);

}  // namespace wavra

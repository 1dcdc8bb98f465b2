// The two splitters: TokenizeArguments turns a command line, the JVM option string or a configured
// argument string into the exact tokens the JVM or the Java main method will receive; NextToken cuts
// a writable text in place at any of a set of delimiters, as the class-path assembly needs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace stub {

// Splits text at single spaces; double quotes group (a space inside quotes does not split); a token
// that opens with a quote loses its first and its last character. Only the space separates: tabs and
// backslashes are ordinary characters. Each space beyond the first of a run yields an empty token.
// With reserve_slot, element 0 is an empty placeholder for the program name and tokens start at 1.
std::vector<std::string> TokenizeArguments(std::string_view text, bool reserve_slot);

// Returns the next piece of text between delimiters (any character of `delimiters`), terminated in
// place, or nullptr when none is left. `cursor` is the caller's: null before the first call, and null
// again once the end has been reported, so a further call starts over. Runs of delimiters, and
// delimiters at either end, never yield empty pieces.
char* NextToken(char* text, const char* delimiters, char** cursor);

// The arguments part of a full Windows command line: leading blanks and tabs, the program name (a
// quoted name up to and including its closing quote, else up to the next blank or tab) and the
// blanks and tabs after it removed. This is the text a windowed program receives as its command line.
std::string_view StripProgramName(std::string_view command_line);

}  // namespace stub

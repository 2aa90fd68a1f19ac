// Section surgery on the text of an ini-style configuration file, free of any
// platform call. The configuration file is 8-bit text; lines end in CR LF, LF
// or a lone CR. A section header is a line that, without the blanks and
// control characters at its ends, starts with "[" and holds a "]"; its name is
// the text between "[" and the first "]", without blanks at its ends. Section
// names match without regard to ASCII letter case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The name inside a header text such as "[HiddenWindows]" (blanks around the
// header and around the name are dropped). Nothing when the text is not a
// header or the name is empty.
std::optional<std::string> SectionNameFromHeader(std::string_view header);

// Replaces the body of section `name` in `iniText` with the lines of
// `updateText`, and returns the new file text:
// - every byte outside the replaced bodies is kept as it was, the header line
//   of the section included;
// - a body runs from the line after its header up to the next header or the
//   end of the file, except that blank and comment (";" or "#") lines standing
//   directly before the next header stay: they introduce what follows;
// - when the section occurs more than once, the first occurrence receives the
//   lines and every later occurrence (header and body) is removed, so that a
//   reader that joins all occurrences sees exactly the new lines;
// - when the section is absent, its header and the lines are appended at the
//   end (after a line end, if the file did not end with one);
// - each line of `updateText` (split at CR LF, LF or CR; a final line end
//   adds no empty line) is written with the line end that the file uses: that
//   of the section's header line, else the file's first line end, else CR LF.
std::string MergeSectionText(std::string_view iniText, std::string_view name, std::string_view updateText);

// The body lines of every occurrence of section `name`, in file order, each
// followed by "\n" (blank lines and comment lines left out). Empty when the
// section is absent.
std::string SectionBodyText(std::string_view iniText, std::string_view name);

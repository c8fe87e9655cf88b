// Text that comes from a table (field names, cell texts) as the report and the messages show
// it. A table may hold anything in them, and such text reaches a terminal (the command line's
// messages), a report read line by line and message boxes: a carriage return or a line feed in
// a field name would forge report lines, and an escape sequence in a cell would drive the
// terminal it is echoed to. Control characters therefore become "?": those of ASCII, DEL, and
// the C1 controls U+0080 to U+009F (which some terminals obey as well).
#pragma once

#include <string>
#include <string_view>

namespace qv {

// The text with every control character replaced by "?", except those listed in `keep`
// (a message's own line breaks, for instance).
std::string PrintableText(std::string_view text, std::string_view keep = {});

}  // namespace qv

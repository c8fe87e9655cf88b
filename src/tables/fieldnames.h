// The checks on a field name typed by the user, shared by the table manager's dialogs and the
// command line: each returns the message the user is shown, in Portuguese, or "" when the
// name is fine.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tables/datatable.h"

namespace qv {

// The message of the create command for a name with "(", ")" or "*": the program builds field
// expressions with those characters, so it refuses them in names it creates.
extern const char* const kForbiddenFieldCharsMessage;
bool HasForbiddenFieldChars(const std::string& name);

// The longest field name a format holds, in characters (code page 1252 gives one byte to each);
// 0 when the format sets no limit (CSV).
std::size_t MaxFieldNameLength(TableType format);

// Why a field cannot be added to a table of `format` whose field names are `names` under the name
// `name`: an empty name, one with control characters or blanks at either end, one the format
// cannot store (too long, or with characters outside code page 1252), or one a field already has
// (letter case aside, as the database engines compare names). "" when it can. "(", ")" and "*"
// are not refused here: only the create command and the rename dialog refuse them.
std::string NewFieldNameProblem(TableType format, const std::vector<std::string>& names,
                                const std::string& name);

// Why field `field` (0-based) of a table of `format` (Paradox, DBase or Csv) whose field names
// are `names` cannot be renamed newName: a name with "(", ")" or "*", or one NewFieldNameProblem
// refuses (another field's name among them; the field's own name in another letter case is
// fine). "" when it can. The rename dialog passes the names with the renames already staged, so
// that two fields never end up with one name.
std::string FieldRenameProblem(TableType format, const std::vector<std::string>& names, int field,
                               const std::string& newName);

}  // namespace qv

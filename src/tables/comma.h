// The line cleaner of the text import, and the reading of the numbers it leaves.
//
// Text files of trial data come from spreadsheets, old DOS programs and field notebooks, with
// headings, labels, commas and semicolons among the numbers. The import keeps of every line only
// what can belong to a number written with "." as decimal point: digits, "-", ".", the exponent
// letter "e" and the blanks between them; everything else becomes a blank. A heading such as
// "Rend kg/ha" therefore leaves its "e", which the reading refuses, and a decimal comma splits
// "12,5" into the two numbers 12 and 5: the import asks the user beforehand to confirm that the
// file is a plain file of numbers.
//
// Everything here works on bytes and has no files: the import (textimport.h) cleans the source
// into a temporary file and reads that file back with ReadImportRecords.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The cleaned form of one line (without its line end), in this order: "," becomes " "; "E"
// becomes "e"; every byte of code 33 to 44, 47 or 58 to 255 other than "e" becomes " " (what
// is left: digits, "-", ".", "e", " " and the control characters, so a tab stays a tab);
// leading blanks are dropped; every run of blanks becomes one blank (one may remain at the end).
std::string CleanImportLine(std::string_view line);
// The same, appended to out, for cleaning many lines without a string for each.
void AppendCleanImportLine(std::string_view line, std::string& out);

// The tokens of a cleaned line: maximal runs of bytes other than " ". Only the blank separates
// them here, so "1\t2" is one token (the reading below takes it as two numbers).
std::size_t CountTokens(std::string_view line);

// One token read as a number: digits with an optional "-" in front, an optional "." and an
// optional exponent written with "e" ("-3.2e2", ".5", "7."). A number too large for a 64-bit
// real is an Overflow, never an infinity; one too small is read as the nearest real (0 below
// about 4.9e-324).
enum class TImportNumber { Ok, NotANumber, Overflow };
TImportNumber ReadImportNumber(std::string_view token, double& value);

// The records of a cleaned text of n columns, read as the import reads them. Every record
// takes the next n numbers, whatever lines they are on (a number is a run of bytes above code
// 32; blanks, tabs, line ends and other control characters separate numbers); the rest of the
// line of its last number is then skipped. So a line with fewer than n numbers takes the
// missing ones from the lines that follow, and one with more loses the extra ones.
//
// The end of the text before a record's first number makes no record: blank lines at the end
// of the file would otherwise make a record of nothing. A record the text ends in the middle
// of is kept, its missing values blank (the end of the file has no numbers to give them).
// A token that is not a number, or one too large, ends the reading there: the records before
// it are kept, the one it belongs to is not.
struct TImportRecords {
  std::size_t columns = 0;
  std::size_t records = 0;
  std::vector<std::vector<double>> numbers;  // one per column, `records` long
  std::vector<std::vector<bool>> blank;      // one per column, `records` long

  enum class TStop { End, NotANumber, Overflow };
  TStop stop = TStop::End;
  std::size_t stopLine = 0;  // line of the refused token (1 = the first)
  std::string stopToken;
  std::size_t missingAtEnd = 0;  // blank values of the last record (the text ended in it)
};
TImportRecords ReadImportRecords(std::string_view cleanedText, std::size_t columns);

}  // namespace qv

// A small CSV reader for dbftool import: comma-separated fields, double quotes around fields
// that hold commas, quotes or line breaks, "" for a quote inside them; CRLF or LF line ends.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace dbftool {

class CsvReader {
 public:
  explicit CsvReader(std::istream& in) : in_(in) {}
  // Reads the next row; false at the end of the input. A quote left open at the end of the
  // input is an error (*error set, false returned).
  bool next(std::vector<std::string>* row, std::string* error);
  long line() const { return line_; }

 private:
  std::istream& in_;
  long line_ = 0;
};

}  // namespace dbftool

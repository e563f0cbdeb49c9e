#include "csv.h"

namespace dbftool {

bool CsvReader::next(std::vector<std::string>* row, std::string* error) {
  row->clear();
  std::string field;
  bool quoted = false;
  bool any = false;
  const long startLine = line_ + 1;
  for (;;) {
    const int c = in_.get();
    if (c == std::char_traits<char>::eof()) {
      if (quoted) {
        *error = "line " + std::to_string(startLine) + ": a quoted field is not closed";
        return false;
      }
      if (!any && field.empty() && row->empty()) return false;
      row->push_back(field);
      ++line_;
      return true;
    }
    any = true;
    const char ch = static_cast<char>(c);
    if (quoted) {
      if (ch == '"') {
        if (in_.peek() == '"') {
          in_.get();
          field += '"';
        } else {
          quoted = false;
        }
      } else {
        if (ch == '\n') ++line_;
        field += ch;
      }
      continue;
    }
    if (ch == '"') {
      quoted = true;
    } else if (ch == ',') {
      row->push_back(field);
      field.clear();
    } else if (ch == '\r') {
      // part of CRLF
    } else if (ch == '\n') {
      row->push_back(field);
      ++line_;
      return true;
    } else {
      field += ch;
    }
  }
}

}  // namespace dbftool

// Comma-separated text as spreadsheets write it (RFC 4180): rows of fields, a field quoted when it holds
// a comma, a quote or a line break, a quote inside doubled; rows end with CR LF or LF. Read also with a
// semicolon or a tab between the fields, as spreadsheets of some locales save "CSV"; portable.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct CsvRow {
    std::vector<std::string> Fields;
    std::size_t Line = 0; // the text line on which the row starts, from 1
};

enum class CsvRead {
    Row,   // a row was read
    End,   // no text is left
    Error, // the text is not comma-separated text; Error() says where and why
};

// Reads rows one by one. A UTF-8 byte order mark at the very start (as spreadsheets save "CSV UTF-8") is
// skipped; the last row may lack its line end. NUL bytes are refused: no text file holds them.
// `separator` stands between the fields (',', ';' or '\t'); quoting is the same for each.
class CCsvReader {
public:
    explicit CCsvReader(std::string_view text, char separator = ',');
    CsvRead Next(CsvRow* row);
    // "line 4: a quote inside an unquoted field"
    const std::string& Error() const { return m_error; }

private:
    bool Fail(std::size_t line, const char* why);
    bool ReadQuoted(std::string* field);
    bool ReadPlain(std::string* field);

    std::string_view m_text;
    char m_separator;
    std::size_t m_at = 0;
    std::size_t m_line = 1;
    std::string m_error;
};

// One row with its CR LF. A field is quoted when it holds a comma, a quote, CR or LF, or starts or ends
// with a blank (which readers other than this one may trim).
std::string FormatCsvRow(const std::vector<std::string>& fields);

// Reading and writing comma-separated text; portable.
#include "provisioning/Csv.h"

#include "persistence/ByteOrderMark.h"

namespace {

bool NeedsQuotes(const std::string& field) {
    return field.find_first_of(",\"\r\n") != std::string::npos ||
           (!field.empty() && (field.front() == ' ' || field.back() == ' '));
}

} // namespace

CCsvReader::CCsvReader(std::string_view text, char separator)
    : m_text(text), m_separator(separator), m_at(Utf8BomLength(text)) {}

bool CCsvReader::Fail(std::size_t line, const char* why) {
    m_error = "line " + std::to_string(line) + ": " + why;
    return false;
}

// At the opening quote; ends after the closing one.
bool CCsvReader::ReadQuoted(std::string* field) {
    const std::size_t startLine = m_line;
    ++m_at;
    while (m_at < m_text.size()) {
        const char c = m_text[m_at++];
        if (c == '"') {
            if (m_at < m_text.size() && m_text[m_at] == '"') {
                field->push_back('"');
                ++m_at;
                continue;
            }
            const bool atEnd = m_at == m_text.size() || m_text[m_at] == m_separator || m_text[m_at] == '\r' ||
                               m_text[m_at] == '\n';
            return atEnd || Fail(m_line, "text after a closing quote");
        }
        if (c == '\0') {
            return Fail(m_line, "a NUL byte");
        }
        m_line += c == '\n' ? 1 : 0;
        field->push_back(c);
    }
    return Fail(startLine, "a quoted field that is never closed");
}

bool CCsvReader::ReadPlain(std::string* field) {
    while (m_at < m_text.size()) {
        const char c = m_text[m_at];
        if (c == m_separator || c == '\n' || c == '\r') {
            return true;
        }
        if (c == '"') {
            return Fail(m_line, "a quote inside an unquoted field");
        }
        if (c == '\0') {
            return Fail(m_line, "a NUL byte");
        }
        field->push_back(c);
        ++m_at;
    }
    return true;
}

CsvRead CCsvReader::Next(CsvRow* row) {
    row->Fields.clear();
    row->Line = m_line;
    if (!m_error.empty() || m_at >= m_text.size()) {
        return m_error.empty() ? CsvRead::End : CsvRead::Error;
    }
    for (;;) {
        std::string field;
        const bool quoted = m_at < m_text.size() && m_text[m_at] == '"';
        if (!(quoted ? ReadQuoted(&field) : ReadPlain(&field))) {
            return CsvRead::Error;
        }
        row->Fields.push_back(std::move(field));
        if (m_at >= m_text.size()) {
            return CsvRead::Row;
        }
        if (m_text[m_at] == m_separator) {
            ++m_at;
            continue;
        }
        // CR LF or LF ends the row; a lone CR ends nothing.
        const std::size_t end = m_text[m_at] == '\r' ? 1 : 0;
        if (m_at + end >= m_text.size() || m_text[m_at + end] != '\n') {
            Fail(m_line, "a CR that ends no line");
            return CsvRead::Error;
        }
        m_at += end + 1;
        ++m_line;
        return CsvRead::Row;
    }
}

std::string FormatCsvRow(const std::vector<std::string>& fields) {
    std::string row;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        row += i > 0 ? "," : "";
        if (!NeedsQuotes(fields[i])) {
            row += fields[i];
            continue;
        }
        row += '"';
        for (char c : fields[i]) {
            row += c == '"' ? "\"\"" : std::string(1, c);
        }
        row += '"';
    }
    return row + "\r\n";
}

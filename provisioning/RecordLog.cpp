// Opening, repairing and appending to the station's record; portable.
#include "provisioning/RecordLog.h"

#include "platform/SystemError.h"

bool CRecordLog::Fail(const std::string& why, std::string* error) const {
    *error = "record " + m_path + ": " + why;
    return false;
}

bool CRecordLog::SystemFail(std::string* error) const {
    char text[256];
    return Fail(SystemErrorText(m_file.Error(), text, sizeof text), error);
}

std::string CRecordLog::HeadText() const {
    return (m_form.Preamble.empty() ? std::string() : m_form.Preamble + "\r\n") +
           RecordHeaderText(HasStation());
}

bool CRecordLog::Open(const std::string& path, std::string* error, const RecordLogForm& form) {
    m_path = path;
    m_form = form;
    if (!m_file.Open(path, form.Readers)) {
        switch (m_file.Fault()) {
        case RecordFileFault::InUse:
            return Fail("in use by another station or program", error);
        case RecordFileFault::NotAFile:
            return Fail("not a file", error);
        default:
            return SystemFail(error);
        }
    }
    std::string text;
    std::string why;
    if (!m_file.ReadAll(&text)) {
        return SystemFail(error);
    }
    // The preamble is a whole first line; what follows it is read as a record.
    std::size_t skipped = 0;
    m_foundPreamble.clear();
    if (!form.Preamble.empty() && !text.empty() && text.front() == '#') {
        skipped = text.find('\n');
        if (skipped == std::string::npos) {
            return Fail("its first line is not whole", error);
        }
        m_foundPreamble = text.substr(0, skipped > 0 && text[skipped - 1] == '\r' ? skipped - 1 : skipped);
        ++skipped;
    }
    if (!ParseRecord(std::string_view(text).substr(skipped), &m_text, &why, form.Station)) {
        return Fail(why, error);
    }
    m_text.KeptSize += skipped;
    if (!m_text.Torn.empty() && !m_file.CutTo(m_text.KeptSize)) {
        return SystemFail(error);
    }
    if (Completed() && !m_file.Append(m_text.MissingLineEnd)) {
        return SystemFail(error);
    }
    if (m_text.HasHeader) {
        return true;
    }
    m_foundPreamble = skipped == 0 ? form.Preamble : m_foundPreamble;
    return m_file.Append(skipped == 0 ? HeadText() : RecordHeaderText(HasStation())) || SystemFail(error);
}

bool CRecordLog::Append(const RecordRow& row, std::string* error) {
    if (!m_file.Append(FormatRecordRow(row, HasStation()))) {
        return SystemFail(error);
    }
    m_text.Rows.push_back(row);
    return true;
}

bool CRecordLog::Clear(std::string* error) {
    if (!m_file.CutTo(0) || !m_file.Append(HeadText())) {
        return SystemFail(error);
    }
    m_text.Rows.clear();
    m_foundPreamble = m_form.Preamble;
    return true;
}

bool CRecordLog::Refresh(std::vector<RecordRow>* added) {
    added->clear();
    return true;
}

ClaimResult CRecordLog::Claim(RecordRow* started, std::string* error) {
    return Append(*started, error) ? ClaimResult::Claimed : ClaimResult::Failed;
}

std::vector<std::string> CRecordLog::TakeNotices() {
    std::vector<std::string> notices;
    if (m_noticed) {
        return notices;
    }
    m_noticed = true;
    if (!m_text.Torn.empty()) {
        notices.push_back("record " + m_path + ": its last row was never finished and is left out: \"" +
                          PrintableExcerpt(m_text.Torn) + "\"");
    }
    if (!m_text.MissingLineEnd.empty()) {
        notices.push_back("record " + m_path + ": its last row had lost its line end and was completed");
    }
    return notices;
}

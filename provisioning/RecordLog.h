// The record as a station holds it: opened and taken, read back, a last row that a power cut left
// unfinished cut off or given back its line end, and rows appended one by one; portable (the file through the
// record-file seam).
#pragma once

#include "provisioning/Record.h"
#include "provisioning/RecordFile.h"
#include "provisioning/RecordStore.h"

#include <string>
#include <vector>

// A record file that says whose it is in a first line before the header (a ledger's journal names its
// ledger and plan), and the name a station writes in a record with a Station column.
struct RecordLogForm {
    std::string Preamble{}; // that line, without its line end; empty: a plain record
    RecordFileReaders Readers = RecordFileReaders::Everyone; // who may read it (see CRecordFile::Open)
    // This station's name on the rows it appends to a record that has a Station column (a ledger's
    // export that the station goes on with); a record without one stays as it is, without names.
    std::string Station{};
};

class CRecordLog : public IRecordStore {
public:
    // Opens the record at `path` (a new one gets its header) and reads its rows. An unfinished last row
    // is cut off the file and kept in Torn(); a last row that lacked only its line end gets it appended
    // and Completed() says so; either for the station to report. False, with `error` saying which
    // file and why, when another station holds it, it cannot be read or written, or it is not a station
    // record; the file is then left as it was. With a preamble, a new file gets it as its first line, and
    // a file that has a first line starting with "#" keeps it in FoundPreamble() (a plain record has
    // none): the caller tells whether the file is the one it meant.
    bool Open(const std::string& path, std::string* error, const RecordLogForm& form = {});
    const std::string& FoundPreamble() const { return m_foundPreamble; }

    const std::string& Path() const { return m_path; }
    const std::vector<RecordRow>& Rows() const { return m_text.Rows; }
    // The record has a Station column, which the rows appended keep.
    bool HasStation() const { return m_text.HasStation; }
    const std::string& Torn() const { return m_text.Torn; }
    bool Completed() const { return !m_text.MissingLineEnd.empty(); }

    // Appends `row`; true once it is on disk.
    bool Append(const RecordRow& row, std::string* error) override;

    // Every row goes: the record holds its preamble and header only.
    bool Clear(std::string* error);

    // The record as the store of one station: every unit is its own to settle, whichever station's row
    // moved it last, and a unit is claimed by its started row. Its name goes into a Station column only.
    std::string Station() const override { return HasStation() ? m_form.Station : std::string(); }
    std::vector<RecordRow> Load() override { return m_text.Rows; }
    bool Refresh(std::vector<RecordRow>* added) override;
    ClaimResult Claim(RecordRow* started, std::string* error) override;
    std::vector<std::string> TakeNotices() override;

private:
    bool Fail(const std::string& why, std::string* error) const;
    bool SystemFail(std::string* error) const;

    std::string HeadText() const;

    std::string m_path;
    RecordLogForm m_form;
    std::string m_foundPreamble;
    CRecordFile m_file;
    RecordText m_text;
    bool m_noticed = false;
};

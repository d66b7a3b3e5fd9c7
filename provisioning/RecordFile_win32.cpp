// The record's file on Windows: one handle that lets others read but never write (a second station is
// refused with a sharing violation), writes at the end of the file, FlushFileBuffers after every row; a
// file for its owner alone has a protected access list that lets only this user in. The Win32 side of
// the record-file seam.
#include "provisioning/RecordFile.h"

#include "platform/HandleOwner.h"

#include <windows.h>

#include <vector>

namespace {

// This process's user, in a buffer of its own; empty when the system does not tell.
std::vector<BYTE> ProcessUser() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    const CWinHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
        return {};
    }
    return user;
}

// The security of a file that only this user may open (the folder's inherited entries kept out), as
// mode 0600 is on POSIX. Its parts live in this object.
class COwnerOnly {
public:
    COwnerOnly() : m_user(ProcessUser()) {
        PSID sid = Sid();
        if (sid == nullptr) {
            return;
        }
        m_acl.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
        m_ready = InitializeAcl(Acl(), static_cast<DWORD>(m_acl.size()), ACL_REVISION) &&
                  AddAccessAllowedAce(Acl(), ACL_REVISION, FILE_ALL_ACCESS, sid) &&
                  InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                  SetSecurityDescriptorDacl(&m_descriptor, TRUE, Acl(), FALSE) &&
                  SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
        m_attributes.nLength = sizeof m_attributes;
        m_attributes.lpSecurityDescriptor = &m_descriptor;
    }
    COwnerOnly(const COwnerOnly&) = delete;
    COwnerOnly& operator=(const COwnerOnly&) = delete;

    bool Ready() const { return m_ready; }
    SECURITY_ATTRIBUTES* ForCreation() { return &m_attributes; }

    // Whether `file` (opened with READ_CONTROL) belongs to this user.
    bool Owns(HANDLE file) const {
        DWORD size = 0;
        GetKernelObjectSecurity(file, OWNER_SECURITY_INFORMATION, nullptr, 0, &size);
        std::vector<BYTE> found(size);
        PSID owner = nullptr;
        BOOL defaulted = FALSE;
        return size > 0 &&
               GetKernelObjectSecurity(file, OWNER_SECURITY_INFORMATION, found.data(), size, &size) &&
               GetSecurityDescriptorOwner(found.data(), &owner, &defaulted) && owner != nullptr &&
               EqualSid(owner, Sid());
    }
    // Gives `file` (opened with WRITE_DAC) this security.
    bool Apply(HANDLE file) {
        return SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                       &m_descriptor) != 0;
    }

private:
    PSID Sid() const {
        return m_user.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(m_user.data())->User.Sid;
    }
    PACL Acl() { return reinterpret_cast<PACL>(m_acl.data()); }

    std::vector<BYTE> m_user; // TOKEN_USER
    std::vector<BYTE> m_acl;
    SECURITY_DESCRIPTOR m_descriptor{};
    SECURITY_ATTRIBUTES m_attributes{};
    bool m_ready = false;
};

} // namespace

struct CRecordFile::State {
    CWinHandle File;
    int32_t Error = 0;
    RecordFileFault Fault = RecordFileFault::None;

    bool Fail(DWORD code, RecordFileFault fault = RecordFileFault::System) {
        Error = static_cast<int32_t>(code != ERROR_SUCCESS ? code : ERROR_WRITE_FAULT);
        Fault = fault;
        return false;
    }
    void Close() { File.Reset(); }
};

CRecordFile::CRecordFile() : m_state(std::make_unique<State>()) {}

CRecordFile::~CRecordFile() {
    m_state->Close();
}

namespace {

// Opens `path` for reading and appending, or creates it, sharing reading only; the system's code
// (ERROR_ALREADY_EXISTS for a file that was there). With `alone`, a new file gets that security, and one
// that is there is opened with the rights to change its security where they are granted (`mayChange`).
DWORD OpenShared(const std::string& path, COwnerOnly* alone, CWinHandle* file, bool* mayChange) {
    const auto open = [&](DWORD access) {
        const HANDLE opened = CreateFileA(path.c_str(), access, FILE_SHARE_READ,
                                          alone != nullptr ? alone->ForCreation() : nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD code = GetLastError();
        file->Reset(opened);
        return code;
    };
    const DWORD data = GENERIC_READ | GENERIC_WRITE;
    DWORD code = open(alone != nullptr ? data | READ_CONTROL | WRITE_DAC : data);
    *mayChange = alone != nullptr && file->IsOpen();
    return alone != nullptr && !file->IsOpen() && code == ERROR_ACCESS_DENIED ? open(data) : code;
}

} // namespace

// Everyone's file takes the folder's inherited access list. One of its owner alone is created with its
// own; an existing one of this user's loses every other entry, and one of another user's (which this
// user may write but not give rights to) is left as it is, as on POSIX.
bool CRecordFile::Open(const std::string& path, RecordFileReaders readers) {
    State& s = *m_state;
    s.Close();
    s.Error = 0;
    s.Fault = RecordFileFault::None;
    COwnerOnly ownerOnly;
    const bool alone = readers == RecordFileReaders::OwnerOnly;
    if (alone && !ownerOnly.Ready()) {
        return s.Fail(GetLastError());
    }
    bool mayChange = false;
    const DWORD code = OpenShared(path, alone ? &ownerOnly : nullptr, &s.File, &mayChange);
    if (!s.File.IsOpen()) {
        const bool inUse = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
        return s.Fail(code, inUse ? RecordFileFault::InUse : RecordFileFault::System);
    }
    // A name such as "COM7" or "NUL" opens a device, not a file.
    if (GetFileType(s.File.Get()) != FILE_TYPE_DISK) {
        s.Close();
        return s.Fail(ERROR_NOT_SUPPORTED, RecordFileFault::NotAFile);
    }
    const bool existed = code == ERROR_ALREADY_EXISTS;
    if (mayChange && existed && ownerOnly.Owns(s.File.Get()) && !ownerOnly.Apply(s.File.Get())) {
        const DWORD failed = GetLastError();
        s.Close();
        return s.Fail(failed);
    }
    return true;
}

bool CRecordFile::ReadAll(std::string* text) {
    State& s = *m_state;
    text->clear();
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(s.File.Get(), start, nullptr, FILE_BEGIN)) {
        return s.Fail(GetLastError());
    }
    char block[8192];
    DWORD got = 0;
    while (ReadFile(s.File.Get(), block, sizeof block, &got, nullptr)) {
        if (got == 0) {
            return true;
        }
        text->append(block, got);
    }
    return s.Fail(GetLastError());
}

bool CRecordFile::CutTo(std::size_t size) {
    State& s = *m_state;
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    return (SetFilePointerEx(s.File.Get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(s.File.Get()) &&
            FlushFileBuffers(s.File.Get())) ||
           s.Fail(GetLastError());
}

bool CRecordFile::Append(const std::string& text) {
    State& s = *m_state;
    // Both offsets all ones: the write goes to the end of the file, as with FILE_APPEND_DATA.
    OVERLAPPED atEnd{};
    atEnd.Offset = 0xFFFFFFFF;
    atEnd.OffsetHigh = 0xFFFFFFFF;
    DWORD written = 0;
    if (!WriteFile(s.File.Get(), text.data(), static_cast<DWORD>(text.size()), &written, &atEnd)) {
        return s.Fail(GetLastError());
    }
    if (written != text.size()) {
        return s.Fail(ERROR_DISK_FULL);
    }
    return FlushFileBuffers(s.File.Get()) || s.Fail(GetLastError());
}

int32_t CRecordFile::Error() const {
    return m_state->Error;
}

RecordFileFault CRecordFile::Fault() const {
    return m_state->Fault;
}

// CFileDialog: the common open and save dialogs; Windows side.
#include "ui/framework/AfxWin.h"

#include <algorithm>
#include <cstdio>

CFileDialog::CFileDialog(BOOL openFileDialog, const char* defaultExt, const char* fileName, DWORD flags,
                         const char* filter, CWnd* pParent)
    : m_ofn(), m_bOpenFileDialog(openFileDialog), m_filter(filter != nullptr ? filter : ""),
      // The system puts the dot in front of the default extension itself.
      m_defaultExt(defaultExt == nullptr  ? ""
                   : defaultExt[0] == '.' ? defaultExt + 1
                                          : defaultExt),
      m_fileName(), m_pParentWnd(pParent) {
    std::replace(m_filter.begin(), m_filter.end(), '|', '\0'); // the string's own NUL ends the list
    std::snprintf(m_fileName, sizeof m_fileName, "%s", fileName != nullptr ? fileName : "");
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.lpstrFilter = m_filter.empty() ? nullptr : m_filter.c_str();
    m_ofn.lpstrFile = m_fileName;
    m_ofn.nMaxFile = sizeof m_fileName;
    m_ofn.lpstrDefExt = m_defaultExt.empty() ? nullptr : m_defaultExt.c_str();
    m_ofn.Flags = flags | OFN_EXPLORER;
}

INT_PTR CFileDialog::DoModal() {
    m_ofn.hwndOwner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : CDialog::GetSafeOwner();
    const BOOL chosen = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
    return chosen ? IDOK : IDCANCEL;
}

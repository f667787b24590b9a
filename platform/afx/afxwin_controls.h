// Dialogs, dialog data exchange and the standard controls of the layer. afxwin.h includes this
// header last, so CWnd, the message maps and CWinApp are available here.
//
// A CDialog is made from a dialog template of the resource module (AfxFindResourceHandle). Its
// window is subclassed to the layer when the dialog manager sends WM_INITDIALOG, so every later
// message reaches the dialog's message map first; what the map does not handle goes on to the
// dialog manager's own procedure (default push button, Tab order, WM_CLOSE as IDCANCEL).
#pragma once

class CDataExchange;

// ---------------------------------------------------------------------------------------------
class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)
 public:
  CDialog();
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  explicit CDialog(LPCTSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  // Modeless: creates the dialog window from the template (a child when the template says
  // WS_CHILD). FALSE when the template is missing or the window cannot be created.
  virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  virtual BOOL Create(LPCTSTR lpszTemplateName, CWnd* pParentWnd = nullptr);

  // Modal: runs the dialog in the system's modal loop until EndDialog. Answers the value given
  // to EndDialog, or -1 when the dialog could not be created (as DialogBox documents).
  virtual INT_PTR DoModal();
  // Modal dialogs end their loop with nResult; a modeless dialog is only hidden.
  void EndDialog(int nResult);

  // Called on WM_INITDIALOG: the base exchanges data into the controls (UpdateData(FALSE))
  // and answers TRUE (the dialog manager then focuses the first control).
  virtual BOOL OnInitDialog();
  // IDOK: UpdateData(TRUE), then EndDialog(IDOK). IDCANCEL (also WM_CLOSE): EndDialog(IDCANCEL).
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange* pDX);
  // Runs DoDataExchange in one direction; FALSE when a field failed validation.
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  // Modeless dialogs take their keyboard navigation here (IsDialogMessage).
  BOOL PreTranslateMessage(MSG* pMsg) override;

  LPCTSTR m_lpszTemplateName = nullptr;  // a resource name or MAKEINTRESOURCE(id)
  UINT m_nIDHelp = 0;
  CWnd* m_pParentWnd = nullptr;

 protected:
  // The dialog procedure of every CDialog: subclasses the window to the layer on
  // WM_INITDIALOG and calls OnInitDialog; answers FALSE for everything else, which the layer
  // has already offered to the message map.
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  afx_msg void OnCommandOK();
  afx_msg void OnCommandCancel();

  DECLARE_MESSAGE_MAP()

 private:
  bool m_bModal = false;
};

// ---------------------------------------------------------------------------------------------
// Dialog data exchange.
class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

  BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
  CWnd* m_pDlgWnd;
  BOOL m_bFailed = FALSE;  // set by Fail()

  // The control's handle (the last one prepared is where a failure puts the focus).
  HWND PrepareCtrl(int nIDC);
  HWND PrepareEditCtrl(int nIDC) { return PrepareCtrl(nIDC); }
  // Marks the exchange failed and focuses the last prepared control; the layer reports
  // failures by result, not by exception.
  void Fail();

 private:
  HWND m_hWndLastControl = nullptr;
};

// Binds a member control to the dialog's control (subclasses it once).
void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
// A number that does not parse fails the exchange.
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, int& value);
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, UINT& value);
// BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
void AFXAPI DDX_Check(CDataExchange* pDX, int nIDC, int& value);
// The index of the checked radio button of the group that starts at nIDC (WS_GROUP), or -1.
void AFXAPI DDX_Radio(CDataExchange* pDX, int nIDC, int& value);

// ---------------------------------------------------------------------------------------------
// Standard controls: wrappers of the handle; their messages are the documented ones.
class CStatic : public CWnd {
  DECLARE_DYNAMIC(CStatic)
 public:
  // Owner-drawn statics (SS_OWNERDRAW) draw here: the parent reflects WM_DRAWITEM back.
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class CButton : public CWnd {
  DECLARE_DYNAMIC(CButton)
 public:
  // Owner-drawn buttons (BS_OWNERDRAW) draw here: the parent reflects WM_DRAWITEM back.
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
  void SetCheck(int nCheck) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(nCheck)); }
};

class CEdit : public CWnd {
  DECLARE_DYNAMIC(CEdit)
 public:
};

class CComboBox : public CWnd {
  DECLARE_DYNAMIC(CComboBox)
 public:
  int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
  int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
  int SetCurSel(int nSelect) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(nSelect))); }
  int AddString(LPCTSTR lpszString) {
    return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lpszString)));
  }
  int InsertString(int nIndex, LPCTSTR lpszString) {
    return static_cast<int>(
        SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpszString)));
  }
  int DeleteString(UINT nIndex) { return static_cast<int>(SendMessage(CB_DELETESTRING, nIndex)); }
  void ResetContent() { SendMessage(CB_RESETCONTENT); }
  DWORD_PTR GetItemData(int nIndex) const {
    return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(nIndex)));
  }
  int SetItemData(int nIndex, DWORD_PTR dwItemData) {
    return static_cast<int>(SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(nIndex), static_cast<LPARAM>(dwItemData)));
  }
  int GetLBTextLen(int nIndex) const {
    return static_cast<int>(SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(nIndex)));
  }
  void GetLBText(int nIndex, CString& rString) const;
  void ShowDropDown(BOOL bShowIt = TRUE) { SendMessage(CB_SHOWDROPDOWN, static_cast<WPARAM>(bShowIt)); }
};

class CListBox : public CWnd {
  DECLARE_DYNAMIC(CListBox)
 public:
  int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
  int GetTextLen(int nIndex) const { return static_cast<int>(SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(nIndex))); }
  void GetText(int nIndex, CString& rString) const;
  int GetItemRect(int nIndex, LPRECT lpRect) const {
    return static_cast<int>(SendMessage(LB_GETITEMRECT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(lpRect)));
  }
  UINT ItemFromPoint(CPoint pt, BOOL& bOutside) const;
};

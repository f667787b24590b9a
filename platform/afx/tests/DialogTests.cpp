// CDialog (modal and modeless), dialog data exchange and the controls of the layer.
#include <afxcmn.h>
#include <afxwin.h>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr UINT kTemplate = 100;
constexpr UINT WM_TEST_ACTION = WM_APP + 1;

class CTestDialog : public CDialog {
 public:
  CTestDialog() : CDialog(kTemplate) {}
  CString text = L"hello";
  int number = 42;
  int check = BST_CHECKED;
  int radio = 1;
  int initCalls = 0;
  // Run (posted) once the dialog's loop runs.
  std::function<void(CTestDialog&)> action;
  CComboBox combo;
  CTreeCtrl tree;

  BOOL OnInitDialog() override {
    ++initCalls;
    CDialog::OnInitDialog();
    if (action) PostMessage(WM_TEST_ACTION);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, 101, text);
    DDX_Text(pDX, 102, number);
    DDX_Check(pDX, 103, check);
    DDX_Radio(pDX, 104, radio);
    DDX_Control(pDX, 107, combo);
    DDX_Control(pDX, 108, tree);
  }
  LRESULT OnAction(WPARAM, LPARAM) {
    action(*this);
    return 0;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDialog, CDialog)
  ON_MESSAGE(WM_TEST_ACTION, &CTestDialog::OnAction)
END_MESSAGE_MAP()

TEST(Dialog, ModalEndsWithTheValueGivenToEndDialog) {
  CTestDialog dialog;
  dialog.action = [](CTestDialog& d) { d.EndDialog(5); };
  EXPECT_EQ(5, dialog.DoModal());
  EXPECT_EQ(1, dialog.initCalls);
  EXPECT_EQ(nullptr, dialog.m_hWnd) << "the window is gone once DoModal returns";
}

TEST(Dialog, CloseEndsAModalDialogAsCancel) {
  CTestDialog dialog;
  dialog.action = [](CTestDialog& d) { d.PostMessage(WM_CLOSE); };
  EXPECT_EQ(IDCANCEL, dialog.DoModal());
}

TEST(Dialog, OkExchangesTheControlsIntoTheMembers) {
  CTestDialog dialog;
  dialog.action = [](CTestDialog& d) {
    d.SetDlgItemText(101, L"typed");
    d.SetDlgItemText(102, L" -17 ");
    d.CheckDlgButton(103, BST_UNCHECKED);
    d.CheckDlgButton(105, BST_UNCHECKED);
    d.CheckDlgButton(106, BST_CHECKED);
    d.SendMessage(WM_COMMAND, IDOK, 0);
  };
  EXPECT_EQ(IDOK, dialog.DoModal());
  EXPECT_STREQ(L"typed", dialog.text.GetString());
  EXPECT_EQ(-17, dialog.number);
  EXPECT_EQ(BST_UNCHECKED, dialog.check);
  EXPECT_EQ(2, dialog.radio);
}

TEST(Dialog, ABadNumberFailsTheExchangeAndKeepsTheDialog) {
  CTestDialog dialog;
  dialog.action = [](CTestDialog& d) {
    d.SetDlgItemText(102, L"12x");
    d.SendMessage(WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(::IsWindow(d.m_hWnd)) << "OnOK must not end the dialog";
    EXPECT_FALSE(d.UpdateData(TRUE));
    d.EndDialog(7);
  };
  EXPECT_EQ(7, dialog.DoModal());
}

TEST(Dialog, ModelessWithControls) {
  CTestDialog dialog;
  ASSERT_TRUE(dialog.Create(kTemplate, nullptr)) << GetLastError();
  ASSERT_NE(nullptr, dialog.m_hWnd);
  EXPECT_EQ(&dialog, CWnd::FromHandlePermanent(dialog.m_hWnd));
  CString text;
  dialog.GetDlgItemText(101, text);
  EXPECT_STREQ(L"hello", text.GetString());
  EXPECT_EQ(BST_CHECKED, dialog.IsDlgButtonChecked(105)) << "radio index 1";

  ASSERT_NE(nullptr, dialog.combo.m_hWnd);
  EXPECT_EQ(0, dialog.combo.AddString(L"first"));
  EXPECT_EQ(1, dialog.combo.AddString(L"second"));
  dialog.combo.SetItemData(1, 99);
  dialog.combo.SetCurSel(1);
  CString item;
  dialog.combo.GetLBText(dialog.combo.GetCurSel(), item);
  EXPECT_STREQ(L"second", item.GetString());
  EXPECT_EQ(99u, dialog.combo.GetItemData(1));

  HTREEITEM root = dialog.tree.InsertItem(L"group");
  HTREEITEM child = dialog.tree.InsertItem(L"product", root);
  ASSERT_NE(nullptr, child);
  EXPECT_EQ(root, dialog.tree.GetParentItem(child));
  EXPECT_EQ(child, dialog.tree.GetChildItem(root));
  EXPECT_STREQ(L"product", dialog.tree.GetItemText(child).GetString());
  EXPECT_TRUE(dialog.tree.SetItemData(child, 1234));
  EXPECT_EQ(1234u, dialog.tree.GetItemData(child));
  EXPECT_TRUE(dialog.tree.SetCheck(child, TRUE));
  EXPECT_TRUE(dialog.tree.GetCheck(child));
  EXPECT_TRUE(dialog.tree.SetCheck(child, FALSE));
  EXPECT_FALSE(dialog.tree.GetCheck(child));
  EXPECT_EQ(2u, dialog.tree.GetCount());

  // A modeless dialog is only hidden by EndDialog.
  dialog.EndDialog(IDOK);
  EXPECT_TRUE(::IsWindow(dialog.m_hWnd));
  EXPECT_FALSE(::IsWindowVisible(dialog.m_hWnd));
  EXPECT_TRUE(dialog.DestroyWindow());
  EXPECT_EQ(nullptr, dialog.m_hWnd);
}

TEST(Dialog, MissingTemplate) {
  CDialog dialog(4242);
  EXPECT_EQ(-1, dialog.DoModal());
  EXPECT_FALSE(dialog.Create(4242));
}

TEST(CommonControls, ImageListAndProgress) {
  CImageList images;
  ASSERT_TRUE(images.Create(20, 15, ILC_COLOR32 | ILC_MASK, 1, 1));
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 40, 15);
  ReleaseDC(nullptr, screen);
  ASSERT_NE(nullptr, bitmap);
  EXPECT_EQ(0, images.Add(bitmap, RGB(0, 255, 255)));
  DeleteObject(bitmap);
  EXPECT_EQ(2, images.GetImageCount());
  EXPECT_TRUE(images.DeleteImageList());
  EXPECT_EQ(nullptr, images.m_hImageList);

  CProgressCtrl progress;
  ASSERT_TRUE(progress.Create(WS_POPUP, CRect(0, 0, 100, 10), nullptr, 0));
  progress.SetRange32(0, 5);
  progress.SetPos(3);
  EXPECT_EQ(3, progress.GetPos());
  int low = -1, high = -1;
  progress.GetRange(low, high);
  EXPECT_EQ(0, low);
  EXPECT_EQ(5, high);
  progress.DestroyWindow();
}

}  // namespace

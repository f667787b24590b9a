#include "ComponentsDlg.h"

#include "ComponentRules.h"
#include "InstallQueue.h"
#include "NsisStack.h"
#include "PluginApp.h"

#include <PPToolTip.h>
#include <XHtmlDraw.h>

namespace tree_data {

orv_products::CProd* TreeDataAsProduct(const CTreeData* data) {
  if (!data || data->kind != CTreeData::kProduct) return nullptr;
  try {
    return boost::any_cast<const orv_products::CProdPtr&>(data->item).get();
  } catch (const boost::bad_any_cast&) {
    return nullptr;
  }
}

}  // namespace tree_data

namespace gwplugin {

using namespace orv_products;
using tree_data::CTreeData;
using tree_data::TreeDataAsProduct;

namespace {

constexpr COLORREF kStripMaskColour = RGB(0, 255, 255);
constexpr int kStripPictureWidth = 20;
constexpr int kStripPictureHeight = 15;
constexpr const wchar_t* kRootGroupPrefix = L"NOGROUP_";

bool OffersSomething(const CProdGroup& group) {
  for (const CProdPtr& product : group.products)
    if (product && product->HasNoStateBits(PS_DISABLED | PS_NOT_AVAILABLE)) return true;
  return false;
}

std::wstring WindowText(const CWnd& window) {
  const int length = ::GetWindowTextLengthW(window.m_hWnd);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window.m_hWnd, &text[0], length + 1)));
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The tree.

IMPLEMENT_DYNAMIC(CComponentsTreeCtrl, CXHtmlTree)

BEGIN_MESSAGE_MAP(CComponentsTreeCtrl, CXHtmlTree)
  ON_WM_MOUSEMOVE()
END_MESSAGE_MAP()

void CComponentsTreeCtrl::SetDescriptionStatic(CStatic* description, const std::wstring& default_text) {
  m_description = description;
  m_defaultDescription = default_text;
}

void CComponentsTreeCtrl::SetSizeStatic(CStatic* size, const std::wstring& format) {
  m_size = size;
  m_sizeFormat = format;
}

tree_data::CTreeData* CComponentsTreeCtrl::ItemTreeData(HTREEITEM item) const {
  if (!item || !m_hWnd) return nullptr;
  return reinterpret_cast<CTreeData*>(GetItemData(item));
}

std::int64_t CComponentsTreeCtrl::GetSelectedSize() const {
  std::int64_t sum = 0;
  if (!m_hWnd) return sum;
  for (HTREEITEM item = GetFirstCheckedItem(); item; item = GetNextTreeItem(item)) {
    if (!GetCheck(item)) continue;
    if (const CProd* product = TreeDataAsProduct(ItemTreeData(item))) sum += ProductDownloadBytes(*product);
  }
  return sum;
}

void CComponentsTreeCtrl::UpdateSizeText() {
  if (!m_size || !m_size->m_hWnd) return;
  const std::wstring megabytes = std::to_wstring(WholeMegabytes(GetSelectedSize()));
  m_size->SetWindowText(FormatText(m_sizeFormat, {megabytes}).c_str());
}

void CComponentsTreeCtrl::OnMouseMove(UINT flags, CPoint point) {
  try {
    if (m_description && m_description->m_hWnd) {
      UINT hit = 0;
      const HTREEITEM item = HitTest(point, &hit);
      if (item && (hit & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON))) {
        // Groups, and products without a description, leave the panel as it is.
        const CProd* product = TreeDataAsProduct(ItemTreeData(item));
        if (product && !product->description.empty()) {
          // The description is the catalogue's HTML; the panel shows its text.
          m_description->SetWindowText(CXHtmlDraw::GetPlainText(product->description).c_str());
          m_description->EnableWindow(TRUE);
        }
      } else {
        m_description->SetWindowText(m_defaultDescription.c_str());
        m_description->EnableWindow(FALSE);
      }
    }
  } catch (...) {
    AfxReportCaughtException("CComponentsTreeCtrl::OnMouseMove");
  }
  CXHtmlTree::OnMouseMove(flags, point);
}

// ---------------------------------------------------------------------------------------------
// The page.

IMPLEMENT_DYNAMIC(CComponentsDlg, CPluginPage)

BEGIN_MESSAGE_MAP(CComponentsDlg, CPluginPage)
  ON_MESSAGE(WM_CONTENT_READY, &CComponentsDlg::OnContentReady)
  ON_MESSAGE(WM_PAGE_LEAVING, &CComponentsDlg::OnPageLeaving)
  ON_MESSAGE(WM_PAGE_LEFT, &CComponentsDlg::OnPageLeft)
  ON_REGISTERED_MESSAGE(WM_XHTMLTREE_CHECKBOX_CLICKED, &CComponentsDlg::OnCheckboxClicked)
END_MESSAGE_MAP()

CComponentsDlg::~CComponentsDlg() = default;

void CComponentsDlg::DoDataExchange(CDataExchange* pDX) {
  CPluginPage::DoDataExchange(pDX);
  DDX_Control(pDX, kIdTree, m_tree);
  DDX_Control(pDX, kIdDescription, m_descriptionStatic);
  DDX_Control(pDX, kIdSizeText, m_sizeStatic);
}

BOOL CComponentsDlg::PreTranslateMessage(MSG* pMsg) {
  // Every message of the page's loop reaches the tree first: its keys, and the mouse moves
  // that its tooltip follows.
  if (m_tree.m_hWnd && m_tree.PreTranslateMessage(pMsg)) return TRUE;
  return CPluginPage::PreTranslateMessage(pMsg);
}

BOOL CComponentsDlg::OnInitDialog() {
  CPluginPage::OnInitDialog();
  try {
    if (!m_imageList.GetSafeHandle()) {
      // ILC_MASK: the strip's cyan must come out transparent whatever the colour depth.
      if (m_imageList.Create(kStripPictureWidth, kStripPictureHeight, ILC_COLOR32 | ILC_MASK, 1, 1)) {
        HANDLE strip =
            ::LoadImageW(PluginModule(), MAKEINTRESOURCEW(kIdGroupImages), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
        if (strip && m_bitmap.Attach(strip)) m_imageList.Add(&m_bitmap, kStripMaskColour);
      }
    }
    if (m_imageList.GetSafeHandle()) m_tree.SetImageList(&m_imageList, TVSIL_NORMAL);

    if (!m_boldFont.GetSafeHandle()) {
      LOGFONTW face{};
      HFONT page_font = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
      if (!page_font || !::GetObjectW(page_font, sizeof face, &face))
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof face, &face);
      face.lfWeight = FW_BOLD;
      m_boldFont.CreateFontIndirect(&face);
    }
    if (m_boldFont.GetSafeHandle() && m_sizeStatic.m_hWnd)
      m_sizeStatic.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(static_cast<HFONT>(m_boldFont)), FALSE);

    m_tree.Initialize();
    m_tree.SetSmartCheckBox(TRUE);
    m_tree.SetHtml(TRUE);
    if (CPPToolTip* tip = m_tree.GetToolTip()) tip->SetAutoHideDelay(kToolTipShowMs);

    m_tree.SetDescriptionStatic(&m_descriptionStatic, WindowText(m_descriptionStatic));
    m_tree.SetSizeStatic(&m_sizeStatic, WindowText(m_sizeStatic));

    // The items of an earlier run of the page went with its window.
    m_treeData.clear();
    FillTree();
  } catch (...) {
    AfxReportCaughtException("CComponentsDlg::OnInitDialog");
  }
  UpdateSelection();
  return TRUE;
}

std::int64_t CComponentsDlg::SelectedSize() const { return m_tree.GetSelectedSize(); }

void CComponentsDlg::UpdateSelection() {
  try {
    m_tree.UpdateSizeText();
    EnableNsisButton(nsis::kIdNext, m_tree.m_hWnd && m_tree.GetFirstCheckedItem() != nullptr);
  } catch (...) {
    AfxReportCaughtException("CComponentsDlg::UpdateSelection");
  }
}

LPARAM CComponentsDlg::MakeGroupTreeData(const CProdGroupPtr& group) {
  m_treeData.push_back(std::make_shared<CTreeData>(CTreeData::kGroup, group));
  return reinterpret_cast<LPARAM>(m_treeData.back().get());
}

LPARAM CComponentsDlg::MakeProductTreeData(const CProdPtr& product) {
  m_treeData.push_back(std::make_shared<CTreeData>(CTreeData::kProduct, product));
  return reinterpret_cast<LPARAM>(m_treeData.back().get());
}

void CComponentsDlg::FillTree() {
  CGWPluginApp& app = ThePluginApp();
  const ProductOffer& merged = app.catalogue.mergedOffer;
  const CProdGroupPtr applications = FindGroupById(merged.groups, kApplicationsGroup);
  auto mark_applications = [&applications] {
    if (!applications) return;
    for (const CProdPtr& product : applications->products)
      if (product) product->AddStateIfHasBits(PS_INSTALL_CHECK, PS_INSTALL);
  };
  // Every installable application starts checked (the reader's included): the user unchecks
  // what is not wanted.
  mark_applications();
  if (m_firstFill && !app.catalogue.HasBuiltInProducts()) {
    mark_applications();
    // The voices the flags page picked for English and the system's own language.
    std::vector<int> proposed = {2, 1};
    switch (::GetSystemDefaultLangID()) {
      case 1045:
        proposed.push_back(0);
        break;
      case 1048:
        proposed.push_back(3);
        break;
      default:
        break;
    }
    for (int index : proposed)
      if (const CProdPtr voice = app.flagsPage.GetChosenVoice(index))
        voice->AddStateIfHasBits(PS_INSTALL_CHECK, PS_INSTALL);
  }
  m_firstFill = false;

  XHTMLTREEDATA item_template;
  for (const CProdGroupPtr& group : merged.groups) {
    if (!group || !OffersSomething(*group)) continue;
    item_template.bChecked = FALSE;
    item_template.bEnabled = TRUE;
    item_template.strHtmlText.Empty();
    item_template.ds.bold = 0;
    HTREEITEM parent = TVI_ROOT;
    if (group->id.compare(0, 8, kRootGroupPrefix) != 0) {
      const std::wstring& label = group->label.empty() ? group->id : group->label;
      item_template.ds.bold = 1;
      parent = InsertItem(TVI_ROOT, label, GroupTreeImage(group->id), MakeGroupTreeData(group), item_template);
      item_template.ds.bold = 0;
      if (!parent) continue;
      // The control measures the label (for scrolling and tips) in bold too.
      m_tree.SetItemState(parent, TVIS_BOLD, TVIS_BOLD);
    }
    for (const CProdPtr& product : group->products)
      if (product && product->HasNoStateBits(PS_NOT_AVAILABLE)) InsertProduct(product, parent, item_template);
  }
  m_tree.ExpandAll();
}

HTREEITEM CComponentsDlg::InsertItem(HTREEITEM parent, const std::wstring& label, int image, LPARAM data,
                                     const XHTMLTREEDATA& item_template) {
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
  insert.item.pszText = const_cast<wchar_t*>(label.c_str());
  insert.item.iImage = image;
  insert.item.iSelectedImage = image;
  insert.item.lParam = data;
  return m_tree.InsertItem(&insert, &item_template);
}

void CComponentsDlg::InsertProduct(const CProdPtr& product, HTREEITEM parent, XHTMLTREEDATA& item_template) {
  const CProd& p = *product;
  std::wstring annotation;
  item_template.bChecked = FALSE;
  item_template.bEnabled = TRUE;
  if (p.HasAllStateBits(PS_DISABLED)) {
    item_template.bEnabled = FALSE;
  } else {
    item_template.bChecked = p.HasAllStateBits(PS_INSTALL_CHECK);
    if (const UINT id = ProductAnnotationId(p.state)) LoadLangString(id, ThePluginApp().langid, annotation);
  }
  const std::wstring& name = p.label.empty() ? p.id : p.label;
  item_template.strHtmlText = ProductItemHtml(name, annotation).c_str();
  const std::wstring label = ProductItemLabel(name, annotation);
  const HTREEITEM item =
      InsertItem(parent, label, ProductTreeImage(p.state), MakeProductTreeData(product), item_template);
  if (item && !p.description.empty()) m_tree.SetItemToolTipText(item, ProductToolTipHtml(name, p.description).c_str());
}

LRESULT CComponentsDlg::OnCheckboxClicked(WPARAM, LPARAM) {
  UpdateSelection();
  return 0;
}

LRESULT CComponentsDlg::OnContentReady(WPARAM, LPARAM) {
  try {
    // The checks come from the rebuilt products' bits, not from the old tree.
    m_tree.DeleteAllItems();
    m_treeData.clear();
    FillTree();
  } catch (...) {
    AfxReportCaughtException("CComponentsDlg::OnContentReady");
  }
  // The new content has other products and sizes: the size line and Next follow it.
  UpdateSelection();
  return 0;
}

LRESULT CComponentsDlg::OnPageLeaving(WPARAM, LPARAM) {
  try {
    if (!ThePluginApp().catalogue.HasBuiltInProducts()) NsisPushString(std::to_wstring(WholeMegabytes(SelectedSize())));
  } catch (...) {
    AfxReportCaughtException("CComponentsDlg::OnPageLeaving");
  }
  return 1;  // the page never refuses to be left
}

LRESULT CComponentsDlg::OnPageLeft(WPARAM outcome, LPARAM) {
  try {
    if (static_cast<int>(outcome) == kPageNext) StoreCheckStates();
  } catch (...) {
    AfxReportCaughtException("CComponentsDlg::OnPageLeft");
  }
  return 1;
}

void CComponentsDlg::StoreCheckStates() {
  auto store = [this](HTREEITEM item) {
    CProd* product = TreeDataAsProduct(m_tree.ItemTreeData(item));
    const XHTMLTREEDATA* record = m_tree.GetItemDataStruct(item);
    if (!product || !record || !record->bEnabled) return;  // disabled products keep their bits
    if (m_tree.GetCheck(item))
      product->state |= PS_INSTALL_CHECK;
    else
      product->ClearStateBits(PS_INSTALL_CHECK);
  };
  for (HTREEITEM root = m_tree.GetRootItem(); root; root = m_tree.GetNextSiblingItem(root)) {
    store(root);
    for (HTREEITEM child = m_tree.GetChildItem(root); child; child = m_tree.GetNextSiblingItem(child)) store(child);
  }
}

}  // namespace gwplugin

// The components page: a check-box tree of the catalogue's groups and products (HTML labels
// with the install state in grey, a rich tooltip per product), a panel with the description
// of the product under the mouse, and the download size of the checked products. On Next the
// check states become the products' PS_INSTALL_CHECK bits, which the install queue follows.
#pragma once

#include "PluginPage.h"
#include "Products.h"

#include <XHtmlTree.h>

#include <afxcmn.h>
#include <afxwin.h>

#include <boost/any.hpp>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace tree_data {

// What a tree item stands for: a group or a product of the merged offer. The record keeps the
// group or product alive, so an item never points at a record that a catalogue rebuild let go.
class CTreeData {
 public:
  enum Kind : int { kGroup = 0, kProduct = 1 };
  CTreeData(int kind_of_item, boost::any what) : kind(kind_of_item), item(std::move(what)) {}
  int kind;
  boost::any item;  // orv_products::CProdGroupPtr or orv_products::CProdPtr
};
using CTreeDataPtr = std::shared_ptr<CTreeData>;

// The product of a product record; null for a group record or no record.
orv_products::CProd* TreeDataAsProduct(const CTreeData* data);

}  // namespace tree_data

namespace gwplugin {

// The page's tree: it shows the hovered product's description in the page's panel and the
// checked products' download size in the page's size line.
class CComponentsTreeCtrl : public CXHtmlTree {
  DECLARE_DYNAMIC(CComponentsTreeCtrl)
 public:
  // The panel and its text while no product is under the mouse.
  void SetDescriptionStatic(CStatic* description, const std::wstring& default_text);
  // The size line and its format (one "%d" for the megabytes).
  void SetSizeStatic(CStatic* size, const std::wstring& format);

  // Bytes downloaded for the checked products (64-bit all the way: a selection, or a single
  // product, may pass 2 GiB).
  std::int64_t GetSelectedSize() const;
  void UpdateSizeText();

  tree_data::CTreeData* ItemTreeData(HTREEITEM item) const;

 protected:
  afx_msg void OnMouseMove(UINT flags, CPoint point);
  DECLARE_MESSAGE_MAP()

 private:
  CStatic* m_description = nullptr;
  std::wstring m_defaultDescription;
  CStatic* m_size = nullptr;
  std::wstring m_sizeFormat;
};

class CComponentsDlg : public CPluginPage {
  DECLARE_DYNAMIC(CComponentsDlg)
 public:
  enum : int { kIdTree = 2010, kIdDescription = 2012, kIdSizeText = 2017 };
  enum : UINT { kIdGroupImages = 2015 };
  // The tooltip stays up long enough to read a description.
  enum : UINT { kToolTipShowMs = 20000 };

  CComponentsDlg() = default;
  ~CComponentsDlg() override;

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL PreTranslateMessage(MSG* pMsg) override;

  // Bytes of the checked products that are downloaded (0 while the page is not up).
  std::int64_t SelectedSize() const;
  CComponentsTreeCtrl& Tree() { return m_tree; }

 protected:
  afx_msg LRESULT OnPageLeaving(WPARAM, LPARAM);
  afx_msg LRESULT OnPageLeft(WPARAM, LPARAM);
  afx_msg LRESULT OnContentReady(WPARAM, LPARAM);
  afx_msg LRESULT OnCheckboxClicked(WPARAM, LPARAM);
  DECLARE_MESSAGE_MAP()

 private:
  void FillTree();
  // An item under parent (TVI_ROOT: at the root), last, with its picture and its record.
  HTREEITEM InsertItem(HTREEITEM parent, const std::wstring& label, int image, LPARAM data,
                       const XHTMLTREEDATA& item_template);
  void InsertProduct(const orv_products::CProdPtr& product, HTREEITEM parent, XHTMLTREEDATA& item_template);
  void StoreCheckStates();
  // The size line and the NSIS Next button follow the checks.
  void UpdateSelection();
  LPARAM MakeGroupTreeData(const orv_products::CProdGroupPtr& group);
  LPARAM MakeProductTreeData(const orv_products::CProdPtr& product);

  CImageList m_imageList;
  CBitmap m_bitmap;
  std::deque<tree_data::CTreeDataPtr> m_treeData;  // keeps the items' lParam records alive
  CStatic m_sizeStatic;
  CFont m_boldFont;
  bool m_firstFill = true;
  CComponentsTreeCtrl m_tree;
  CStatic m_descriptionStatic;
};

}  // namespace gwplugin

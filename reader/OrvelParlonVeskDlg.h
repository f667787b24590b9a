// The reader's main dialog, created from template 582 of the language module by the hidden
// main window. Here it is a speech client that registers itself at start and unregisters
// before it goes; its skin, controls and reading behaviour build on this class.
#pragma once

#include <afxwin.h>

#include "SpeechClientRegistration.h"
#include "SpeechProtocol.h"
#include "resource.h"

class COrvelParlonVeskDlg : public CDialog {
 public:
  enum { IDD = IDD_ORVELPARLONVESK_DIALOG };

  COrvelParlonVeskDlg();
  ~COrvelParlonVeskDlg() override;

  BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr) override;

  // True from the client's registration until it is unregistered.
  bool IsClientRegistered() const { return m_registration.IsRegistered(); }

 protected:
  BOOL OnInitDialog() override;
  // Enter and Escape never close the dialog.
  void OnOK() override;
  void OnCancel() override;

  afx_msg void OnCloseButton();
  afx_msg void OnMinimizeButton();
  afx_msg void OnClose();
  afx_msg void OnDestroy();

  DECLARE_MESSAGE_MAP()

 private:
  // Waits for the speech control thread to have its control window, then registers the
  // client with it.
  void RegisterSpeechClient();
  // The end of the application: unregister, then quit the message loop.
  void Quit();

  HICON m_hIcon = nullptr;      // icon 101 of the language module (shared, not destroyed)
  SpeechClient m_speechClient;  // read by the speech thread while registered
  // Declared after the client, so that it unregisters the client before the client goes.
  orv_reader::SpeechClientRegistration m_registration;
};

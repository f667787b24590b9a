// The one seam through which tests make the reader fail where a real system seldom does: an
// environment variable that only a build made with ORV_READER_TEST_HOOKS reads (the test trees
// define it; the deliverables' tree does not, so a shipped reader never looks at it).
//
//   ORV_READER_TEST_FAULT  the name of one fault point. Reaching one of these throws
//                          std::bad_alloc, as an exhausted address space would there:
//                            clipboard_copy       the copy of the clipboard's text
//                                                 (CSelReaderDlg::ReadClipboardText)
//                            speech_thread_start  the start of the speech control thread
//                                                 (CThSpeechControl::InitInstance)
//                          At one of these the step fails as the system makes it fail:
//                            main_window_create   the hidden main window cannot be made
//                                                 (COrvelParlonVeskApp::InitInstance)
//                            dialog_start         the main dialog cannot start
//                                                 (COrvelParlonVeskDlg::OnInitDialog)
//
// Without ORV_READER_TEST_HOOKS InjectFault does nothing and FaultNamed answers false.
#pragma once

namespace orv_reader {
namespace testhooks {

enum class FaultPoint { ClipboardCopy, SpeechThreadStart, MainWindowCreate, DialogStart };

// Whether the fault variable names this point.
bool FaultNamed(FaultPoint point);
// Throws std::bad_alloc when the fault variable names this point.
void InjectFault(FaultPoint point);

}  // namespace testhooks
}  // namespace orv_reader

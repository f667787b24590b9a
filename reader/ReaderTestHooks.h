// The one seam through which tests make the reader fail where a real system seldom does: an
// environment variable that only a build made with ORV_READER_TEST_HOOKS reads (the test trees
// define it; the deliverables' tree does not, so a shipped reader never looks at it).
//
//   ORV_READER_TEST_FAULT  the name of one fault point; reaching that point throws
//                          std::bad_alloc, as an exhausted address space would there:
//                            clipboard_copy       the copy of the clipboard's text
//                                                 (CSelReaderDlg::ReadClipboardText)
//                            speech_thread_start  the start of the speech control thread
//                                                 (CThSpeechControl::InitInstance)
//
// Without ORV_READER_TEST_HOOKS InjectFault does nothing.
#pragma once

namespace orv_reader {
namespace testhooks {

enum class FaultPoint { ClipboardCopy, SpeechThreadStart };

// Throws std::bad_alloc when the fault variable names this point.
void InjectFault(FaultPoint point);

}  // namespace testhooks
}  // namespace orv_reader

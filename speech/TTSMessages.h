// Command objects of a voice thread. Other threads never call a voice's engine: they build one of
// these, push it onto the voice's command queue and wake the thread (CTTS_Voice::PostCommand).
//
// Ownership: a command belongs to the queue until the voice thread takes it; the handler then
// frees it, unless it carries a `done` event: then the blocking caller that attached the event
// waits for it and frees the command afterwards. Deleting a command deletes its event and any
// request it still holds.
#pragma once

#include "SpeechProtocol.h"

#include <atomic>
#include <memory>
#include <string>
#include <utility>

namespace VTTSFramework {

enum TTSMsgType {
  TTSMSG_BASE = 0,
  TTSMSG_INIT = 1,
  TTSMSG_DESTROY = 2,
  TTSMSG_SPEAK = 3,
  TTSMSG_SPEAK_TO_FILE = 4,
  TTSMSG_STOP = 5,
  TTSMSG_SKIP = 6,
  TTSMSG_PAUSE_RESUME = 7,
  TTSMSG_IS_UI_SUPPORTED = 8,
  TTSMSG_DIALOG = 9,
  TTSMSG_CONTROL = 10,
};

// Modes of CTTSMsg_pr (its argument).
constexpr int TTS_PR_RESUME = 0;
constexpr int TTS_PR_PAUSE = 1;
constexpr int TTS_PR_QUERY = -1;

// What CTTSMsg_ctrlSpeak controls, and its argument.
constexpr int TTS_CTRL_VOLUME = 1;
constexpr int TTS_CTRL_RATE = 2;
constexpr int TTS_CTRL_GET = 0;
constexpr int TTS_CTRL_SET = 1;

// Kinds of engine dialog (CTTSMsg_dialog).
constexpr int TTS_DIALOG_ADD_REMOVE_WORD = 1;
constexpr int TTS_DIALOG_ENGINE_PROPERTIES = 2;
constexpr int TTS_DIALOG_ENGINE_PROPERTIES_2 = 3;
constexpr int TTS_DIALOG_EDIT_SIMPLE_LEX = 4;

class CTTSMsg {
 public:
  CTTSMsg();
  virtual ~CTTSMsg();
  CTTSMsg(const CTTSMsg&) = delete;
  CTTSMsg& operator=(const CTTSMsg&) = delete;

  virtual int GetType() const { return TTSMSG_BASE; }

  // Makes the command blocking: attaches a new auto-reset, unsignalled event (owned).
  void AttachDoneEvent();

  int argument = 0;        // mode of types 7 and 10
  int result = -1;         // the answer of a blocking command
  CEvent* done = nullptr;  // owned; null unless the command is blocking
};

// The voice list entry to initialise: its position in the engine's token enumeration and, when
// the list knows it, the token's identifier, which names the token wherever it stands now.
class CTTSMsg_init : public CTTSMsg {
 public:
  explicit CTTSMsg_init(int index = -1, std::wstring id = std::wstring()) : tokenIndex(index), tokenId(std::move(id)) {}
  int GetType() const override { return TTSMSG_INIT; }
  int tokenIndex;
  std::wstring tokenId;  // empty: the token at tokenIndex
};

class CTTSMsg_destroy : public CTTSMsg {
 public:
  int GetType() const override { return TTSMSG_DESTROY; }
};

// Holds its request until a handler takes it; a request still held is freed with the command.
class CTTSMsg_speak : public CTTSMsg {
 public:
  explicit CTTSMsg_speak(SpeakRequest* r = nullptr) : request(r) {}
  ~CTTSMsg_speak() override;
  int GetType() const override { return TTSMSG_SPEAK; }
  SpeakRequest* TakeRequest();
  SpeakRequest* request;
};

// Speaks a request whose output record is set into wave files.
class CTTSMsg_speakToFile : public CTTSMsg_speak {
 public:
  explicit CTTSMsg_speakToFile(SpeakRequest* r = nullptr) : CTTSMsg_speak(r) {}
  int GetType() const override { return TTSMSG_SPEAK_TO_FILE; }
};

class CTTSMsg_stop : public CTTSMsg {
 public:
  int GetType() const override { return TTSMSG_STOP; }
};

class CTTSMsg_skip : public CTTSMsg {
 public:
  explicit CTTSMsg_skip(int count = 0) : sentences(count) {}
  int GetType() const override { return TTSMSG_SKIP; }
  int sentences;
};

// argument: TTS_PR_PAUSE, TTS_PR_RESUME or TTS_PR_QUERY.
class CTTSMsg_pr : public CTTSMsg {
 public:
  explicit CTTSMsg_pr(int mode = TTS_PR_QUERY) { argument = mode; }
  int GetType() const override { return TTSMSG_PAUSE_RESUME; }
};

// The pointers point into the blocking caller's memory, which waits for the answer.
class CTTSMsg_iuis : public CTTSMsg {
 public:
  int GetType() const override { return TTSMSG_IS_UI_SUPPORTED; }
  const wchar_t* typeOfUI = nullptr;
  void* extraData = nullptr;
  ULONG extraDataSize = 0;
  BOOL* supported = nullptr;
  HRESULT engineResult = -1;
};

class CTTSMsg_dialog : public CTTSMsg {
 public:
  int GetType() const override { return TTSMSG_DIALOG; }
  HWND parent = nullptr;
  std::unique_ptr<wchar_t[]> text;  // copied without terminator; null without text
  ULONG textLength = 0;             // in characters
  int kind = 0;
};

// what: TTS_CTRL_VOLUME or TTS_CTRL_RATE; argument: TTS_CTRL_SET or TTS_CTRL_GET.
class CTTSMsg_ctrlSpeak : public CTTSMsg {
 public:
  CTTSMsg_ctrlSpeak(int whatToControl, int setOrGet, int newValue = 0) : what(whatToControl), value(newValue) {
    argument = setOrGet;
  }
  int GetType() const override { return TTSMSG_CONTROL; }
  int what;
  int value;
};

// Frees a request (or nothing for a placeholder). Every request the voice threads free goes
// through here, so that tests can count them.
void FreeSpeakRequest(SpeakRequest* request);

// Counters for tests: commands made and destroyed, requests freed by the voice code.
struct TTSObjectCounts {
  static std::atomic<long> commandsCreated;
  static std::atomic<long> commandsDestroyed;
  static std::atomic<long> requestsFreed;
};

}  // namespace VTTSFramework

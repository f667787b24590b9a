#include "TTSMessages.h"

namespace VTTSFramework {

std::atomic<long> TTSObjectCounts::commandsCreated{0};
std::atomic<long> TTSObjectCounts::commandsDestroyed{0};
std::atomic<long> TTSObjectCounts::requestsFreed{0};

CTTSMsg::CTTSMsg() { ++TTSObjectCounts::commandsCreated; }

CTTSMsg::~CTTSMsg() {
  delete done;
  ++TTSObjectCounts::commandsDestroyed;
}

void CTTSMsg::AttachDoneEvent() {
  if (!done) done = new CEvent(FALSE, FALSE);
}

CTTSMsg_speak::~CTTSMsg_speak() { FreeSpeakRequest(TakeRequest()); }

SpeakRequest* CTTSMsg_speak::TakeRequest() {
  SpeakRequest* r = request;
  request = nullptr;
  return r;
}

void FreeSpeakRequest(SpeakRequest* request) {
  if (!request) return;
  delete request;
  ++TTSObjectCounts::requestsFreed;
}

}  // namespace VTTSFramework

#include "link/LoginExchange.h"

#include "app/Memory.h"

char* BuildLoginRequest(const char* candidateNumber, const char* idCardNumber) {
  return ConcatTexts(candidateNumber, kLoginRequestSeparator, idCardNumber);
}

bool JudgeLoginReply(const ByteBlock* block) {
  if (!block) block = &kEmptyByteBlock;
  char* text = BytesToText(block);
  bool accepted = CompareText(text, "1") == 0;
  FreeMemory(text);
  return accepted;
}

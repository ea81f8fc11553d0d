// What the client sends the exam server to log a candidate in, and how it
// reads the answer.
#pragma once

#include "link/Texts.h"

// Sits between the two numbers on the wire; neither number is escaped.
inline constexpr char kLoginRequestSeparator[] = "fg";

// The request text: candidate number, "fg", ID-card number. Always fresh.
char* BuildLoginRequest(const char* candidateNumber, const char* idCardNumber);

// Whether the server's reply accepts the login: its text, up to the first zero
// byte, must be exactly "1". The caller keeps and releases the block.
bool JudgeLoginReply(const ByteBlock* block);

// Texts and byte blocks: the two kinds of data the program passes around.
//
// A text is a zero-terminated byte string in the ANSI code page (GBK). An
// absent text (null) is the empty text. Operations that make a text return one
// fresh from AllocateMemory, or null when the result is empty, unless they say
// otherwise; the caller releases it with FreeMemory.
//
// A byte block is one allocation: its count, then that many bytes of any value.
// A null block is the empty block.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

struct ByteBlock {
  std::uint32_t count;
};

// Lives in read-only data, so FreeMemory ignores it.
extern const ByteBlock kEmptyByteBlock;

// The bytes right after the header; for a null block, those of the empty block.
const std::uint8_t* BlockBytes(const ByteBlock* block);
// For filling a block in place; null for a null block, which has no room.
std::uint8_t* BlockBytes(ByteBlock* block);

// A fresh block holding a copy of the bytes; null bytes give count zero bytes.
ByteBlock* NewByteBlock(const void* bytes, std::uint32_t count);

std::size_t TextLength(const char* text);

// -1, 0 or +1, comparing bytes as unsigned values; no case folding, no locale.
std::int32_t CompareText(const char* a, const char* b);

// The bytes of the block up to its first zero byte, as a text.
char* BytesToText(const ByteBlock* block);

// Always a fresh text, even when every part is empty.
char* ConcatTexts(std::initializer_list<const char*> texts);

template <typename... Parts>
  requires(sizeof...(Parts) >= 1 && (std::convertible_to<Parts, const char*> && ...))
char* ConcatTexts(const Parts&... parts) {
  return ConcatTexts({static_cast<const char*>(parts)...});
}

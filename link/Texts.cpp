#include "link/Texts.h"

#include <cstring>

#include "app/FatalError.h"
#include "app/Memory.h"

constexpr ByteBlock kEmptyByteBlock{0};

const std::uint8_t* BlockBytes(const ByteBlock* block) {
  if (!block) block = &kEmptyByteBlock;
  return reinterpret_cast<const std::uint8_t*>(block + 1);
}

std::uint8_t* BlockBytes(ByteBlock* block) {
  if (!block) return nullptr;
  return reinterpret_cast<std::uint8_t*>(block + 1);
}

ByteBlock* NewByteBlock(const void* bytes, std::uint32_t count) {
  // On a 32-bit target the header plus a huge count would wrap size_t.
  if (count > SIZE_MAX - sizeof(ByteBlock)) FatalError("字节块过大!", 0);
  auto* block = static_cast<ByteBlock*>(AllocateMemory(sizeof(ByteBlock) + count));
  block->count = count;
  if (count) {
    if (bytes) {
      std::memcpy(BlockBytes(block), bytes, count);
    } else {
      std::memset(BlockBytes(block), 0, count);
    }
  }
  return block;
}

std::size_t TextLength(const char* text) { return text ? std::strlen(text) : 0; }

std::int32_t CompareText(const char* a, const char* b) {
  auto* left = reinterpret_cast<const unsigned char*>(a ? a : "");
  auto* right = reinterpret_cast<const unsigned char*>(b ? b : "");
  for (;; ++left, ++right) {
    if (*left != *right) return *left < *right ? -1 : 1;
    if (!*left) return 0;
  }
}

char* BytesToText(const ByteBlock* block) {
  if (!block) block = &kEmptyByteBlock;
  const std::uint8_t* bytes = BlockBytes(block);
  const void* zero = std::memchr(bytes, 0, block->count);
  std::size_t length =
      zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes) : block->count;
  if (!length) return nullptr;
  auto* text = static_cast<char*>(AllocateMemory(length + 1));
  std::memcpy(text, bytes, length);
  text[length] = '\0';
  return text;
}

char* ConcatTexts(std::initializer_list<const char*> texts) {
  // Every length first, so the result is allocated once.
  std::size_t total = 1;
  for (const char* text : texts) {
    std::size_t length = TextLength(text);
    if (length > SIZE_MAX - total) FatalError("文本过长!", 0);
    total += length;
  }
  auto* result = static_cast<char*>(AllocateMemory(total));
  char* end = result;
  for (const char* text : texts) {
    std::size_t length = TextLength(text);
    if (length) std::memcpy(end, text, length);
    end += length;
  }
  *end = '\0';
  return result;
}

// Texts and byte blocks live on the process heap. Literal texts and the
// constant empty byte block live in the image's read-only sections instead;
// FreeMemory recognises them by address, from the image's section table.
#include "app/Memory.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "app/FatalError.h"
#include "app/Shell.h"

namespace {

struct AddressRange {
  std::uintptr_t begin = 0;
  std::uintptr_t end = 0;
};

constexpr int kMaxConstantSections = 16;

struct ConstantSections {
  AddressRange ranges[kMaxConstantSections];
  int count = 0;
};

// The sections of the image that holds this code which are neither writable
// nor executable: .rdata and its kin, where the compiler puts literals and
// constant objects.
ConstantSections FindConstantSections() {
  ConstantSections sections;
  HMODULE image = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&FindConstantSections), &image)) {
    return sections;
  }
  auto base = reinterpret_cast<std::uintptr_t>(image);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections && sections.count < kMaxConstantSections;
       ++i, ++section) {
    DWORD flags = section->Characteristics;
    bool readOnlyData = (flags & IMAGE_SCN_MEM_READ) && !(flags & IMAGE_SCN_MEM_WRITE) &&
                        !(flags & IMAGE_SCN_MEM_EXECUTE);
    if (!readOnlyData) continue;
    std::uintptr_t begin = base + section->VirtualAddress;
    std::uintptr_t size = section->Misc.VirtualSize ? section->Misc.VirtualSize
                                                    : section->SizeOfRawData;
    sections.ranges[sections.count++] = {begin, begin + size};
  }
  return sections;
}

HANDLE Heap() {
  // Before InitializeShell has run (as in the tests of the pure routines) the
  // heap is still the same process heap.
  HANDLE heap = Shell().heap;
  return heap ? heap : GetProcessHeap();
}

}  // namespace

bool IsConstantData(const void* address) {
  static const ConstantSections sections = FindConstantSections();
  auto value = reinterpret_cast<std::uintptr_t>(address);
  for (int i = 0; i < sections.count; ++i) {
    if (value >= sections.ranges[i].begin && value < sections.ranges[i].end) return true;
  }
  return false;
}

void* AllocateMemory(std::size_t size) {
  void* bytes = HeapAlloc(Heap(), 0, size);
  if (!bytes) {
    // A request size is never negative, so it is shown unsigned.
    char message[100];
    std::snprintf(message, sizeof message, "分配 %llu 字节内存失败!",
                  static_cast<unsigned long long>(size));
    FatalError(message, 0);
  }
  return bytes;
}

void FreeMemory(const void* address) {
  if (!address || IsConstantData(address)) return;
  HeapFree(Heap(), 0, const_cast<void*>(address));
}

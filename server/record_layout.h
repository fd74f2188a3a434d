// What differs between the 32-bit and the 64-bit module, said once.
//
// The server's and registration's records are laid out field by field, in
// the order the platform's COM server records have on 32-bit Windows, where
// a pointer, a handle, a function pointer and a pointer-sized word are 4
// bytes each and a critical section is 24. The same sources build the
// 64-bit DLL and the Linux module, where those are 8 bytes:
//
// - Pointer-sized fields. Every field of a class-table row is one slot of
//   sizeof(void*) bytes (`reserved` is a DWORD_PTR), and so are the
//   interface table's `resolver`, the category table's id pointer and the
//   termination list's fields. A 32-bit field beside them (the interface
//   table's `offset`, the category table's `kind`) takes a whole slot.
// - The record's size. `size` holds sizeof(ServerModule), and the short
//   form ends after classTableLock: 132 and 100 bytes on 32-bit Windows.
// - Calling conventions. WINAPI and STDMETHODCALLTYPE are __stdcall on
//   32-bit x86; x64 has one convention and ignores them. The four exports
//   keep their plain names on both (trellan.def); the media-format
//   runtime's WMCreateEditor, found by its plain name at run time, is
//   called as __stdcall through CreateEditorFunction (filter/media_runtime.h).
//
// The checks below hold every target to these rules, and 32-bit Windows,
// the only 32-bit target, to the byte counts themselves.
#pragma once

#include "category_map.h"
#include "interface_map.h"
#include "server_module.h"

#include <cstddef>

namespace trellan::record_layout {

constexpr std::size_t slot = sizeof(void*);
constexpr bool thirtyTwoBitWindows = slot == 4;

static_assert(sizeof(ObjectMapEntry) == 9 * slot, "a class-table row is nine slots");
static_assert(offsetof(ObjectMapEntry, getCategoryMap) == 7 * slot, "a short row is the first seven slots");
static_assert(sizeof(TermCallbackNode) == 3 * slot, "a termination-list node is three slots");
static_assert(sizeof(InterfaceMapEntry) == 3 * slot && offsetof(InterfaceMapEntry, resolver) == 2 * slot,
              "an interface-table row is three slots, its resolver the third");
static_assert(sizeof(CategoryMapEntry) == 2 * slot, "a category-table row is two slots");
static_assert(shortModuleSize == offsetof(ServerModule, classTableLock) + sizeof(CRITICAL_SECTION),
              "the short form of the module record ends after classTableLock");

static_assert(!thirtyTwoBitWindows || sizeof(CRITICAL_SECTION) == 24, "a 32-bit critical section is 24 bytes");
static_assert(!thirtyTwoBitWindows || fullModuleSize == 132, "the 32-bit module record is 132 bytes");
static_assert(!thirtyTwoBitWindows || shortModuleSize == 100, "its short form is 100 bytes");

}  // namespace trellan::record_layout

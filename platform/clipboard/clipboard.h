// The clipboard service and the movable memory blocks that carry clipboard
// data.
//
// The clipboard of a session keeps each format in a file under
// ScrollsnapHome()/clipboard, so every process of the same SCROLLSNAP_HOME
// sees the same content. The calls are shaped as the system uses them: open,
// empty, set or get data, close. When a desktop is present (DISPLAY or
// WAYLAND_DISPLAY set and QT_QPA_PLATFORM not "offscreen") and the process
// has a Qt GUI application, closing the clipboard after a change also puts the
// content on the desktop clipboard: a CF_DIB picture as an image (PNG), CF_TEXT
// as UTF-8 text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/handle_table.h"
#include "platform/base/result.h"

namespace ss {

using HGLOBAL = HANDLE32;
using HWND = std::uint32_t;

// ---------------------------------------------------------------------------
// Movable memory blocks

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// A block of `bytes` bytes (zero-filled with GMEM_ZEROINIT); 0 when the
// memory cannot be had.
HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
// The block's address (counts a lock), or null for an unknown handle or an
// empty block.
void* GlobalLock(HGLOBAL block);
// Removes one lock; TRUE while locks remain, FALSE when none remain.
BOOL GlobalUnlock(HGLOBAL block);
// 0 when freed, the handle itself when unknown.
HGLOBAL GlobalFree(HGLOBAL block);
std::size_t GlobalSize(HGLOBAL block);

// ---------------------------------------------------------------------------
// Clipboard

constexpr UINT CF_TEXT = 1;
constexpr UINT CF_BITMAP = 2;
constexpr UINT CF_DIB = 8;
constexpr UINT CF_UNICODETEXT = 13;

// Opens the clipboard for this thread. Fails (FALSE) while another thread or
// process has it open (after waiting up to half a second for it). Opening it
// again on the same thread succeeds.
BOOL OpenClipboard(HWND owner);
// Removes every format. The clipboard must be open on this thread.
BOOL EmptyClipboard();
// Stores the block under the format; the clipboard then owns the block
// (it is freed here) and the handle is returned. 0 when the clipboard is not
// open on this thread, the block is unknown or the store cannot be written;
// the block then still belongs to the caller.
HGLOBAL SetClipboardData(UINT format, HGLOBAL block);
// A block holding the stored data of the format, owned by the clipboard and
// valid until the clipboard is emptied or closed; 0 when the format is not
// there or the clipboard is not open on this thread.
HGLOBAL GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);
// Closes the clipboard; pushes changed content to the desktop clipboard.
BOOL CloseClipboard();
// The window that opened the clipboard (0 when closed or opened without one).
HWND GetOpenClipboardWindow();

// The formats stored now, in ascending order (does not need the clipboard
// open).
std::vector<UINT> StoredClipboardFormats();
// Reads a stored format without opening the clipboard; false when absent.
bool ReadStoredClipboardData(UINT format, std::string* bytes);

// True when the desktop clipboard is bridged in this process (see above).
bool DesktopClipboardPresent();

}  // namespace ss
